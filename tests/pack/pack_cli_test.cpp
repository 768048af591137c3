#include <sstream>

#include <nlohmann/json.hpp>

#include "pack/pack_tool.h"
#include "pack_fixture.h"

namespace orvane::pack::test {
namespace {

class PackCli : public PackDir {
protected:
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunPackTool(args, out_, err_);
    }
    std::ostringstream out_, err_;
};

TEST_F(PackCli, ExitCodes) {
    WriteText(Path("m.json"), R"({"version": "v5"})");
    const std::string m = Path("m.json").string(), base = Path("base").string(), out = Path("out").string();
    struct Case {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{}, 2},
        {{"pack"}, 2},
        {{"show"}, 2},
        {{"show", base, base}, 2},
        {{"build", "--manifest", m, "--base", base}, 2},
        {{"build", "--manifest", m, "--base", base, "--out"}, 2},
        {{"build", "--manifest", m, "--manifest", m, "--base", base, "--out", out}, 2},
        {{"build", "--manifest", m, "--base", base, "--out", out, "--force"}, 2},
        {{"--help"}, 0},
        {{"show", Path("missing").string()}, 1},
        {{"show", m}, 1},  // no markers
        {{"build", "--manifest", m, "--base", base, "--out", base}, 1},
        {{"build", "--manifest", m, "--base", base, "--out", Path("no/such/dir/out").string()}, 1},
        {{"build", "--out", out, "--base", base, "--manifest", m}, 0},
        {{"build", "--manifest", m, "--base", base, "--out", out}, 0},  // replaces the earlier output
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(Run(c.args), c.code) << err_.str();
        if (c.code != 0) {
            EXPECT_FALSE(err_.str().empty());
        }
    }
    EXPECT_EQ(ReadBytes(Path("base")), base_);
    EXPECT_FALSE(fs::exists(Path("no/such/dir/out.partial")));
    EXPECT_FALSE(fs::exists(Path("out.partial")));
}

TEST_F(PackCli, ShowReportsThePackedValues) {
    WriteBytes(Path("fw.bin"), Junk(700, 1));
    WriteText(Path("m.json"), R"({"slots": [{"image": "fw.bin", "new_fw": "9.9", "fw_ext": "E",
        "records": [{"fws": "9.0", "fwe": "9.8", "model": "M"}]}], "options": {"iNoticeLevel": 1}})");
    ASSERT_EQ(Run({"build", "--manifest", Path("m.json").string(), "--base", Path("base").string(), "--out",
                   Path("out").string()}),
              0)
        << err_.str();
    ASSERT_EQ(Run({"show", Path("out").string()}), 0) << err_.str();
    const auto shown = nlohmann::json::parse(out_.str());
    EXPECT_EQ(shown["iFWCount"], 1);
    EXPECT_EQ(shown["options"]["iNoticeLevel"], 1);
    EXPECT_EQ(shown["slots"], nlohmann::json::parse(R"([{"start": 0, "size": 700, "new_fw": "9.9", "fw_ext": "E",
        "records": [{"fws": "9.0", "fwe": "9.8", "model": "M"}]}])"));
}

}  // namespace
}  // namespace orvane::pack::test

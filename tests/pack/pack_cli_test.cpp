#include <sstream>

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
        {{"build", "--manifest", m, "--base", base}, 2},
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

}  // namespace
}  // namespace orvane::pack::test

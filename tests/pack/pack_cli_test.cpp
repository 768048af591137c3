#include "pack_fixture.h"

namespace orvane::pack::test {
namespace {

class PackCli : public PackDir {};

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

// Each refusal names the file, then the field or place, then the problem; never a bare
// library text.
TEST_F(PackCli, RefusalsNameTheFileTheFieldAndTheProblem) {
    Bytes cut = base_;
    cut.resize(kJunkBefore + 20000);  // inside the image area: the later markers are gone too
    WriteBytes(Path("cut"), cut);
    struct Case {
        const char* name;
        const char* manifest;  // nullptr: "show" of the cut program
        std::string error;
    } cases[] = {
        {"show a cut program", nullptr,
         "program " + Path("cut").string() +
             ": the package block is cut short by the end of the file: it needs 9977142 bytes from offset 3001, "
             "the file has 20000"},
        {"number overflow", R"({"iVisualStyle": 1e400})",
         "manifest " + Path("m.json").string() + ": iVisualStyle: the number 1e400 is out of range"},
        {"negative overflow in a slot", R"({"slots": [{"image": "x", "new_fw": -1e400}]})",
         "manifest " + Path("m.json").string() + ": slots[0].new_fw: the number -1e400 is out of range"},
        {"key twice", R"({"version": "v1", "banner": "b", "version": "v2"})",
         "manifest " + Path("m.json").string() + ": version: the key is given twice"},
        {"option twice", R"({"options": {"bWinFlash": true, "bWinFlash": false}})",
         "manifest " + Path("m.json").string() + ": options.bWinFlash: the key is given twice"},
        {"record field twice",
         R"({"slots": [{"image": "x", "records": [{"model": "A"}, {"fws": "1", "fws": "2"}]}]})",
         "manifest " + Path("m.json").string() + ": slots[0].records[1].fws: the key is given twice"},
        {"unknown key", R"({"verison": "v1"})",
         "manifest " + Path("m.json").string() + ": the manifest: unknown key \"verison\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int code;
        if (c.manifest == nullptr) {
            code = Run({"show", Path("cut").string()});
        } else {
            WriteText(Path("m.json"), c.manifest);
            code = Build();
        }
        EXPECT_EQ(code, 1);
        EXPECT_EQ(err_.str(), "orvane-pack: " + c.error + "\n");
    }
    // The same key in two different objects is no repetition.
    WriteText(Path("m.json"), R"({"slots": [{"image": "fw", "new_fw": "1", "fw_ext": "1",
        "records": [{"model": "A"}, {"model": "B"}]}], "version": "v1"})");
    WriteBytes(Path("fw"), Bytes(600, 7));
    EXPECT_EQ(Build(), 0) << err_.str();
}

}  // namespace
}  // namespace orvane::pack::test

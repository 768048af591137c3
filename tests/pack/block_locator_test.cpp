#include "pack/block_locator.h"

#include <functional>

#include "pack/pack_error.h"
#include "pack_fixture.h"

namespace orvane::pack::test {
namespace {

constexpr size_t kAuxDir = 14618 + 7864320;  // the auxiliary area follows the image area

void Put(Bytes& file, size_t at, const std::string& text) { std::memcpy(file.data() + at, text.data(), text.size()); }

struct LocateCase {
    const char* name;
    std::function<void(Bytes&)> spoil;
    const char* error;  // nullptr: found at kJunkBefore
};

TEST(BlockLocator, FindsTheBlockOrNamesTheMarker) {
    const LocateCase cases[] = {
        {"intact", [](Bytes&) {}, nullptr},
        {"option marker gone", [](Bytes& f) { Put(f, kJunkBefore + 9310, "PARA_OPT_"); }, "\"PARA_OPT=\" not found"},
        {"option marker twice", [](Bytes& f) { Put(f, 100, "PARA_OPT="); }, "\"PARA_OPT=\" found more than once"},
        {"aux marker gone", [](Bytes& f) { Put(f, kJunkBefore + kAuxDir, "AES_BUF_HERX"); }, "\"AES_BUF_HERE\" not found"},
        {"aux marker twice", [](Bytes& f) { Put(f, f.size() - 20, "AES_BUF_HERE"); }, "\"AES_BUF_HERE\" found more than once"},
        {"aux marker astray",
         [](Bytes& f) {
             Put(f, kJunkBefore + kAuxDir, "............");
             Put(f, kJunkBefore + kAuxDir + 16, "AES_BUF_HERE");
         },
         "\"AES_BUF_HERE\" is not where"},
        {"boot marker gone", [](Bytes& f) { Put(f, kJunkBefore + 10522, "BOOT_CODE_HERX"); }, "\"BOOT_CODE_HERE\" is not where"},
        {"file ends inside the aux area", [](Bytes& f) { f.resize(kJunkBefore + kAuxDir + 2000); }, "cut short"},
        // The aux marker is gone with the rest: the cut, not a foreign file, is the problem.
        {"file ends inside the image area", [](Bytes& f) { f.resize(kJunkBefore + 20000); },
         "cut short by the end of the file: it needs 9977142 bytes from offset 3001, the file has 20000"},
        {"file ends inside the header", [](Bytes& f) { f.resize(kJunkBefore + 9400); }, "cut short"},
        {"block starts before the file", [](Bytes& f) { f.erase(f.begin(), f.begin() + kJunkBefore + 100); },
         "too close to the start"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = FakeProgram();
        c.spoil(file);
        if (c.error == nullptr) {
            EXPECT_EQ(LocateBlock(file), kJunkBefore);
            continue;
        }
        try {
            LocateBlock(file);
            ADD_FAILURE() << "accepted";
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace orvane::pack::test

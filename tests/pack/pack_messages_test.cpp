// Everything orvane-pack says, one row each: the build's summary, show's digests, the refusal of an
// oversized image before it is read, JSON faults in our words, reversed revision ranges and the
// warning about a target model no record takes. Digests are the published FIPS 180 examples
// ("abc") or were worked out with another SHA-256 program.
#include <gtest/gtest.h>

#include <chrono>

#include "pack_fixture.h"

namespace orvane::pack::test {
namespace {

constexpr const char* kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* kAbc56 = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
// The build's own block holds 394,240 zero bytes as slot 1's image.
constexpr const char* kBaseImage = "6dc323456042048bdd0260c87e0deea082c855c53b6f948dbb5be27a3d721ded";
// "abc" and 509 zeros: the image the program deciphers from an enciphered "abc".
constexpr const char* kAbcPadded = "b064446561934ed673ed230b6c0e68ebde7d574bf81288b00ac88ff6e518ade4";

// {M} and {OUT} stand for the manifest's and the output's paths.
struct Row {
    const char* name;
    std::string manifest;
    int code;
    std::string out, err;  // exact, except show's stdout
    bool show = false;     // after a successful build: `show` of the output, whose stdout must hold `out`
};

std::string Slot(const std::string& image, const std::string& records = "") {
    return R"({"image": ")" + image + R"(", "new_fw": "2.10", "fw_ext": "GM900001")" +
           (records.empty() ? "" : R"(, "records": [)" + records + "]") + "}";
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
    return s;
}

class PackMessages : public PackDir {};

TEST_F(PackMessages, SaysWhatItDidAndWhatIsWrongInItsOwnWords) {
    WriteText(Path("abc.bin"), "abc");
    WriteText(Path("abc56.bin"), "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
    // Sparse: over 4 GiB long (past any 32-bit size) in no time and no space; reading it would take long.
    std::ofstream(Path("big.bin")).close();
    fs::resize_file(Path("big.bin"), (uintmax_t(1) << 32) + 1);
    std::ofstream(Path("big.exe")).close();
    fs::resize_file(Path("big.exe"), 3 * 1024 * 1024);

    const std::string two_slots = R"({"slots": [)" + Slot("abc.bin") +
                                  R"(, {"image": "abc56.bin", "new_fw": "3.00", "fw_ext": "GM900002"}]})";
    const std::string line1 = std::string("slot 1: 3 bytes, new revision 2.10, DEF GM900001, SHA-256 ") + kAbc + "\n";
    const std::string enciphered = R"({"options": {"bWinFlash": false}, "slots": [)" + Slot("abc.bin") + "]}";
    auto ranged = [](const char* fws, const char* fwe) {
        return R"({"slots": [)" + Slot("abc.bin", std::string(R"({"fws": ")") + fws + R"(", "fwe": ")" + fwe + R"("})") + "]}";
    };
    auto modelled = [](const char* target, const std::string& records) {
        return std::string(R"({"target_model": ")") + target + R"(", "slots": [)" + Slot("abc.bin", records) + "]}";
    };
    const std::string bad = "orvane-pack: manifest {M}: ";
    const std::string written = "written: {OUT}\n";

    const Row rows[] = {
        {"summary, one line per slot", two_slots, 0,
         line1 + "slot 2: 56 bytes, new revision 3.00, DEF GM900002, SHA-256 " + kAbc56 + "\n" + written, ""},
        {"summary of an enciphered image: the plain image's digest", enciphered, 0,
         std::string("slot 1: 3 bytes (enciphered: 512 stored), new revision 2.10, DEF GM900001, SHA-256 ") + kAbc +
             "\n" + written,
         ""},
        // The build's own block names a target model its one record does not take.
        {"summary without slots: the base's kept image", R"({"version": "v7"})", 0, "",
         "orvane-pack: warning: the target model \"MERETH QZ4-AB256\" matches none of the records' models "
         "(\"TOLBERN TQ-256K7KW\"): no drive of that model is eligible\n"},
        {"show: the stored image's digest", two_slots, 0, std::string("\"sha256\": \"") + kAbc56 + "\"", "", true},
        {"show: the deciphered image's digest", enciphered, 0, std::string("\"sha256\": \"") + kAbcPadded + "\"", "",
         true},
        {"oversized image refused by its size", R"({"slots": [)" + Slot("big.bin") + "]}", 1, "",
         bad + "slot 1: image big.bin is 4294967297 bytes, at most 524288 fit\n"},
        {"oversized executable refused by its size", R"({"aux": {"EXE_XP_X86": "big.exe"}})", 1, "",
         bad + "\"aux\": EXE_XP_X86 executable big.exe is 3145728 bytes, at most 2097152 fit\n"},
        {"JSON: a missing comma", "{\n  \"version\": \"v1\"\n  \"banner\": \"b\"\n}", 1, "",
         bad + "not valid JSON at line 3, column 10: expected ',' or '}' after the value, found a text in quotes\n"},
        {"JSON: a trailing comma", "{\"version\": \"v1\",\r\n}", 1, "",
         bad + "not valid JSON at line 2, column 1: expected a key in quotes, found '}'\n"},
        {"JSON: a text without quotes", "{\"slots\": [{\"image\": abc.bin}]}", 1, "",
         bad + "not valid JSON at line 1, column 22: expected a value (a text in quotes, a number, true, false, null, "
               "a list or an object), found a word that is not true, false or null (texts need quotes)\n"},
        {"JSON: cut short", "{\"version\": \"v1\"", 1, "",
         bad + "not valid JSON at line 1, column 17: expected ',' or '}' after the value, found the end of the text\n"},
        {"JSON: more after the end", "{\"version\": \"v1\"}}", 1, "",
         bad + "not valid JSON at line 1, column 18: expected nothing more after the end of the top-level value, "
               "found '}'\n"},
        {"JSON: a line break inside a text", "{\"banner\": \"two\nlines\"}", 1, "",
         bad + "not valid JSON at line 1, column 16: expected a value (a text in quotes, a number, true, false, null, a "
               "list or an object), found a line break or control character inside a text (write it as \\n, \\t, ...)\n"},
        {"type: a number for a text", R"({"slots": [{"image": "abc.bin", "new_fw": 2.1, "fw_ext": "X"}]})", 1, "",
         bad + "slot 1: \"new_fw\" must be a text in quotes, not the number 2.1\n"},
        {"type: a text for a flag", R"({"options": {"bWinFlash": "yes"}})", 1, "",
         bad + "option bWinFlash must be true or false, not a text\n"},
        {"type: an object for a list", R"({"slots": {"image": "abc.bin"}})", 1, "",
         bad + "\"slots\" must be a list, not an object\n"},
        {"type: a list for a record", R"({"slots": [)" + Slot("abc.bin", "[]") + "]}", 1, "",
         bad + "slot 1 record 1 must be a JSON object, not a list\n"},
        {"missing: the image", R"({"slots": [{"new_fw": "1", "fw_ext": "1"}]})", 1, "",
         bad + "slot 1: \"image\" is missing\n"},
        {"range: reversed", ranged("1.10", "1.09"), 1, "",
         bad + "slot 1 record 1: \"fws\" \"1.10\" sorts after \"fwe\" \"1.09\": the range takes no revision\n"},
        // The program orders revisions byte by byte, not as numbers.
        {"range: 1.9 to 1.10 is reversed", ranged("1.9", "1.10"), 1, "",
         bad + "slot 1 record 1: \"fws\" \"1.9\" sorts after \"fwe\" \"1.10\": the range takes no revision\n"},
        {"range: a prefix sorts first", ranged("1.0~", "1.0"), 1, "",
         bad + "slot 1 record 1: \"fws\" \"1.0~\" sorts after \"fwe\" \"1.0\": the range takes no revision\n"},
        {"range: one revision", ranged("1.10", "1.10"), 0, line1 + written, ""},
        {"range: open start", ranged("", "0.01"), 0, line1 + written, ""},
        {"model: none of the records", modelled("RT MODEL 512", R"({"model": "TOLBERN TQ-512"}, {"model": "RT MODEL"})"),
         0, line1 + written,
         "orvane-pack: warning: the target model \"RT MODEL 512\" matches none of the records' models (\"TOLBERN "
         "TQ-512\", \"RT MODEL\"): no drive of that model is eligible\n"},
        {"model: the base's target model", R"({"slots": [)" + Slot("abc.bin", R"({"model": "OTHER"})") + "]}", 0,
         line1 + written, "orvane-pack: warning: the target model \"MERETH QZ4-AB256\" matches none of the records' models "
         "(\"OTHER\"): no drive of that model is eligible\n"},
        {"model: one record names it", modelled("RT MODEL 512", R"({"model": "X"}, {"model": "RT MODEL 512"})"), 0,
         line1 + written, ""},
        {"model: a record names no model", modelled("RT MODEL 512", R"({"model": "X"}, {"fws": "1.00"})"), 0,
         line1 + written, ""},
        {"model: no records, no constraint", modelled("RT MODEL 512", ""), 0, line1 + written, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(Path("out"));
        WriteText(Path("m.json"), row.manifest);
        const std::string m = Path("m.json").string(), out = Path("out").string();
        const auto start = std::chrono::steady_clock::now();
        const int code = Build();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 5.0);  // nothing here reads a large file
        if (row.show) {
            ASSERT_EQ(code, 0) << err_.str();
            EXPECT_EQ(Run({"show", out}), 0) << err_.str();
            EXPECT_NE(out_.str().find(row.out), std::string::npos) << out_.str();
            continue;
        }
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(err_.str(), Replace(Replace(row.err, "{M}", m), "{OUT}", out));
        if (row.out.empty() && code == 0) {
            // The base's own image (394,240 bytes, stored plain) is described from the packed program.
            EXPECT_EQ(out_.str(), "slot 1: 394240 bytes (kept from the base), new revision 1.02, DEF GM802030, "
                                  "SHA-256 " + std::string(kBaseImage) + "\nwritten: " + out + "\n");
        } else {
            EXPECT_EQ(out_.str(), Replace(row.out, "{OUT}", out));
        }
    }
}

}  // namespace
}  // namespace orvane::pack::test

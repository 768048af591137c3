// Packing a Windows program: a signature on the base removed, the PE checksum written; and the
// sign command's arguments and the refusals that come before any signer runs.
#include "pack_fixture.h"

namespace orvane::pack::test {
namespace {

constexpr size_t kHeaders = 0x400;

// A PE32+ program whose one section holds the build's package block, its CheckSum stale;
// signed: a 24-byte certificate table follows at the next multiple of 8.
Bytes PeProgram(bool signed_) {
    Bytes f = PeHeaders(true, kHeaders, uint32_t(package::PackageBlockSize()));
    Put32(f, kChecksumAt, 0x12345678);
    const uint8_t* block = package::PackageBlockBytes();
    f.insert(f.end(), block, block + package::PackageBlockSize());
    if (signed_) AppendCertificates(f, true, 24, 0xa5);
    return f;
}

// The checksum by another route than the packer's: all 16-bit words summed at once (CheckSum
// as zero), the carries folded back at the end, plus the length.
uint32_t Checksum(const Bytes& f) {
    uint64_t sum = 0;
    for (size_t i = 0; i < f.size(); i += 2)
        if (i != kChecksumAt && i != kChecksumAt + 2) sum += f[i] | (i + 1 < f.size() ? f[i + 1] << 8 : 0);
    while (sum > 0xffff) sum = (sum & 0xffff) + (sum >> 16);
    return uint32_t(sum + f.size());
}

class PackSign : public PackDir {};

TEST_F(PackSign, BuildRemovesTheSignatureAndWritesTheChecksum) {
    // The target model one of the base's records names: no warning besides the signature's.
    WriteText(Path("m.json"), R"({"version": "v7.7.7", "target_model": "TOLBERN TQ-256K7KW"})");
    for (bool signed_ : {false, true}) {
        SCOPED_TRACE(signed_ ? "signed base" : "unsigned base");
        const Bytes base = PeProgram(signed_);
        WriteBytes(Path("pe"), base);
        ASSERT_EQ(Build("pe"), 0) << err_.str();
        EXPECT_EQ(err_.str(), signed_ ? "orvane-pack: the base program was signed; its signature was removed "
                                        "(packing would break it): sign the packed program\n"
                                      : "");
        const Bytes out = ReadBytes(Path("out"));
        // Cut where the table began: the signer's padding to 8 bytes stays.
        ASSERT_EQ(out.size(), signed_ ? 9978168u : 9978166u);
        EXPECT_EQ(Get32(out, kSecurity64), 0u);
        EXPECT_EQ(Get32(out, kSecurity64 + 4), 0u);
        EXPECT_EQ(Get32(out, kChecksumAt), Checksum(out));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[kHeaders + 21]), 7), std::string("v7.7.7\0", 7));
        EXPECT_EQ(ReadBytes(Path("pe")), base);
    }

    // Something after the certificate table: refused, nothing written.
    Bytes odd = PeProgram(true);
    odd.push_back(0);
    WriteBytes(Path("odd"), odd);
    fs::remove(Path("out"));
    EXPECT_EQ(Build("odd"), 1);
    EXPECT_NE(err_.str().find("base program " + Path("odd").string() + ": the program's certificate table"),
              std::string::npos)
        << err_.str();
    EXPECT_NE(err_.str().find("is not at the end of the file"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(Path("out")));
    EXPECT_FALSE(fs::exists(Path("out.partial")));
}

TEST_F(PackSign, SignArgumentsAndEarlyRefusals) {
    WriteBytes(Path("pe"), PeProgram(false));
    Bytes bare = PeProgram(false);
    bare.resize(kHeaders);  // the headers alone: a Windows program without a package
    WriteBytes(Path("bare"), bare);
    WriteText(Path("cert.pem"), "x");
    WriteText(Path("key.pem"), "x");
    const std::string pe = Path("pe").string(), out = Path("signed").string();
    const std::string cert = Path("cert.pem").string(), key = Path("key.pem").string();
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string error;
    } cases[] = {
        {{"sign", "--in", pe, "--cert", cert, "--key", key}, 2, "sign needs --in and --out"},
        {{"sign", "--in", pe, "--out", out}, 2, "either --pkcs12 or --cert with --key"},
        {{"sign", "--in", pe, "--out", out, "--pkcs12", cert, "--cert", cert, "--key", key}, 2, "either --pkcs12"},
        {{"sign", "--in", pe, "--out", out, "--cert", cert, "--key", key, "--in", pe}, 2, "--in given twice"},
        {{"sign", "--in", pe, "--out", out, "--cert", cert, "--key", key, "--timestamp"}, 2,
         "--timestamp needs a value"},
        {{"sign", "--in", pe, "--out", out, "--cert", cert, "--key", key, "--pass", "x"}, 2,
         "unknown argument \"--pass\""},
        {{"sign", "--in", pe, "--out", out, "--cert", cert}, 1, "--cert and --key go together"},
        {{"sign", "--in", pe, "--out", out, "--pkcs12", Path("none.p12").string()}, 1,
         Path("none.p12").string() + " does not exist or is not a file"},
        {{"sign", "--in", pe, "--out", pe, "--cert", cert, "--key", key}, 1, "is the input itself"},
        {{"sign", "--in", Path("base").string(), "--out", out, "--cert", cert, "--key", key}, 1,
         Path("base").string() + " is not a Windows program: nothing to sign"},
        {{"sign", "--in", Path("bare").string(), "--out", out, "--cert", cert, "--key", key}, 1,
         Path("bare").string() + " is not a packed program: marker \"PARA_OPT=\" not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
#ifdef _WIN32
        // The Windows build refuses every well-formed request before it looks at the files.
        const std::string expected = c.code == 1 ? "sign is not available in the Windows build" : c.error;
#else
        const std::string& expected = c.error;
#endif
        EXPECT_EQ(Run(c.args), c.code);
        EXPECT_NE(err_.str().find(expected), std::string::npos) << err_.str();
        EXPECT_FALSE(fs::exists(Path("signed")));
        EXPECT_FALSE(fs::exists(Path("signed.partial")));
    }
}

}  // namespace
}  // namespace orvane::pack::test

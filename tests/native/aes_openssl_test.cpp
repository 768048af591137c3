// Our AES against OpenSSL's, on random keys and data.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "package/aes_cipher.h"
#include "package/aes_ni.h"
#include "package/package_layout.h"

namespace orvane::package {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReferenceEcb(const uint8_t key[16], const Bytes& in, bool encipher) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    Bytes out(in.size() + 16);
    int n = 0, tail = 0;
    bool ok = ctx && EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key, nullptr, encipher ? 1 : 0) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
              EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), int(in.size())) == 1 &&
              EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) == 1;
    EXPECT_TRUE(ok);
    out.resize(size_t(n + tail));
    return out;
}

// Each engine, re-keyed every round; a partial tail after the whole blocks stays as it was.
TEST(AesOpenssl, MatchesReferenceOnRandomKeysAndData) {
    for (AesEngine engine : {AesEngine::Tables, AesEngine::Fastest}) {
        AesCipher aes(engine);
        SCOPED_TRACE(aes.UsesAesInstructions() ? "instructions" : "tables");
        std::mt19937 rng(20160125);
        for (int round = 0; round < 300; ++round) {
            SCOPED_TRACE(round);
            uint8_t key[16];
            for (auto& b : key) b = uint8_t(rng());
            Bytes data(16 * (1 + rng() % 64));
            for (auto& b : data) b = uint8_t(rng());
            Bytes tail(rng() % 16);
            for (auto& b : tail) b = uint8_t(rng());
            aes.SetKey(key);

            for (bool encipher : {true, false}) {
                Bytes ours = data;
                ours.insert(ours.end(), tail.begin(), tail.end());
                aes.Run(ours.data(), ours.size(), encipher ? CipherDirection::Encipher : CipherDirection::Decipher);
                Bytes expected = ReferenceEcb(key, data, encipher);
                expected.insert(expected.end(), tail.begin(), tail.end());
                ASSERT_EQ(ours, expected) << (encipher ? "encipher" : "decipher");
            }
        }
    }
}

// The instruction path is taken exactly where the kernel reports the instructions it needs.
TEST(AesOpenssl, InstructionsUsedWhereTheProcessorHasThem) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    std::set<std::string> flags;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("flags", 0) != 0) continue;
        std::istringstream words(line.substr(line.find(':') + 1));
        for (std::string w; words >> w;) flags.insert(w);
        break;
    }
    ASSERT_FALSE(flags.empty()) << "no flags line in /proc/cpuinfo";
    bool has = true;
    for (const char* f : {"aes", "sse2", "ssse3", "sse4_1"}) has = has && flags.count(f);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(aes_ni::Available(), has);
#else
    EXPECT_FALSE(aes_ni::Available());
#endif
    EXPECT_EQ(AesCipher(AesEngine::Fastest).UsesAesInstructions(), aes_ni::Available());
    EXPECT_FALSE(AesCipher(AesEngine::Tables).UsesAesInstructions());
}

TEST(AesOpenssl, ImageEncipheredByReferenceDeciphersWithPackageKey) {
    uint8_t key[16];
    AssemblePackageKey(key);
    std::mt19937 rng(7);
    Bytes image(394'240);
    for (auto& b : image) b = uint8_t(rng());

    Bytes buffer(kImageBufferSize, 0);
    const Bytes packed = ReferenceEcb(key, image, true);
    ASSERT_EQ(packed.size(), image.size());
    std::copy(packed.begin(), packed.end(), buffer.begin());

    AesCipher aes;
    ASSERT_TRUE(DecipherImage(aes, buffer.data(), image.size()));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + ptrdiff_t(image.size())), image);
}

}  // namespace
}  // namespace orvane::package

#include "package/aes_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "package/package_layout.h"

namespace orvane::package {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = uint8_t(rng());
    return out;
}

// Enciphers the way the packer does: the package key over [0, length).
void EncipherWithPackageKey(uint8_t* data, size_t length) {
    uint8_t key[16];
    AssemblePackageKey(key);
    AesCipher aes;
    aes.SetKey(key);
    aes.Run(data, length, CipherDirection::Encipher);
}

struct KnownAnswer {
    const char* name;
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS-197 Appendix C.1 and the Appendix B walk-through.
const KnownAnswer kFipsVectors[] = {
    {"C.1", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"B", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
};

// Both engines: the tables on every machine, the AES instructions where the processor has them
// (elsewhere Fastest is the tables again).
const AesEngine kEngines[] = {AesEngine::Tables, AesEngine::Fastest};

std::string EngineName(const AesCipher& aes) { return aes.UsesAesInstructions() ? "instructions" : "tables"; }

TEST(AesCipher, FipsVectorsBothDirections) {
    for (AesEngine engine : kEngines) {
        // One context for all rows: each SetKey must replace both schedules completely.
        AesCipher aes(engine);
        SCOPED_TRACE(EngineName(aes));
        for (const auto& v : kFipsVectors) {
            SCOPED_TRACE(v.name);
            aes.SetKey(Hex(v.key).data());

            Bytes block = Hex(v.plain);
            aes.Run(block.data(), block.size(), CipherDirection::Encipher);
            EXPECT_EQ(block, Hex(v.cipher));

            block = Hex(v.cipher);
            aes.Run(block.data(), block.size(), CipherDirection::Decipher);
            EXPECT_EQ(block, Hex(v.plain));
        }
    }
}

TEST(AesCipher, BlocksAreIndependentAndPartialTailIsLeftAlone) {
    const auto& v = kFipsVectors[0];
    const Bytes tail = Hex("0102030405060708090a0b0c0d0e0f");  // 15 bytes: not a whole block
    for (AesEngine engine : kEngines) {
        AesCipher aes(engine);
        aes.SetKey(Hex(v.key).data());
        // The tables go two blocks at a time, the instructions four or eight: counts that leave
        // each an odd remainder, and a run of several full groups.
        for (int blocks : {1, 3, 8, 11, 19}) {
            SCOPED_TRACE(EngineName(aes) + ", " + std::to_string(blocks) + " blocks");
            std::string hex_in, hex_out;
            for (int i = 0; i < blocks; ++i) hex_in += v.plain, hex_out += v.cipher;

            struct Case {
                CipherDirection dir;
                const std::string& in;
                const std::string& out;
            } cases[] = {{CipherDirection::Encipher, hex_in, hex_out}, {CipherDirection::Decipher, hex_out, hex_in}};
            for (const auto& c : cases) {
                Bytes buf = Hex(c.in);
                buf.insert(buf.end(), tail.begin(), tail.end());
                aes.Run(buf.data(), buf.size(), c.dir);
                Bytes expected = Hex(c.out);
                expected.insert(expected.end(), tail.begin(), tail.end());
                EXPECT_EQ(buf, expected);
            }
        }

        Bytes short_buf = tail;
        aes.Run(short_buf.data(), short_buf.size(), CipherDirection::Decipher);
        EXPECT_EQ(short_buf, tail);
    }
}

TEST(AesCipher, PackageKeyIsPinned) {
    // Reference ciphertext of the C.1 plaintext under the package key, taken from an
    // independent AES implementation. Images already packed depend on this key.
    uint8_t key[16];
    AssemblePackageKey(key);
    for (AesEngine engine : kEngines) {
        AesCipher aes(engine);
        SCOPED_TRACE(EngineName(aes));
        aes.SetKey(key);
        Bytes block = Hex(kFipsVectors[0].plain);
        aes.Run(block.data(), block.size(), CipherDirection::Encipher);
        EXPECT_EQ(block, Hex("44d2d9b2155deaca957d5dbb9c3f6a16"));
        aes.Run(block.data(), block.size(), CipherDirection::Decipher);
        EXPECT_EQ(block, Hex(kFipsVectors[0].plain));
    }
}

// The instructions against the tables (themselves held to the vectors above) on random keys and
// data: every block count up to five groups of eight, each with a partial tail, at every offset
// from 16-byte alignment the loads may meet.
TEST(AesCipher, EnginesAgreeOnEveryLengthAndAlignment) {
    std::mt19937 rng(20260125);
    AesCipher tables(AesEngine::Tables), fastest(AesEngine::Fastest);
    RecordProperty("fastest_engine", EngineName(fastest));
    for (int round = 0; round < 200; ++round) {
        uint8_t key[16];
        for (auto& b : key) b = uint8_t(rng());
        tables.SetKey(key);
        fastest.SetKey(key);
        const size_t blocks = size_t(round) % 41, tail = rng() % 16, offset = rng() % 16;
        SCOPED_TRACE(std::to_string(blocks) + " blocks + " + std::to_string(tail) + " at offset " +
                     std::to_string(offset));
        const Bytes data = RandomBytes(offset + 16 * blocks + tail + 16, uint32_t(rng()));
        for (CipherDirection dir : {CipherDirection::Encipher, CipherDirection::Decipher}) {
            Bytes a = data, b = data;
            tables.Run(a.data() + offset, 16 * blocks + tail, dir);
            fastest.Run(b.data() + offset, 16 * blocks + tail, dir);
            ASSERT_EQ(a, b) << (dir == CipherDirection::Encipher ? "encipher" : "decipher");
            if (blocks) {
                ASSERT_NE(a, data);
            }
            // Nothing before the start or after the last whole block is touched.
            ASSERT_TRUE(std::equal(a.begin(), a.begin() + ptrdiff_t(offset), data.begin()));
            ASSERT_TRUE(std::equal(a.begin() + ptrdiff_t(offset + 16 * blocks), a.end(),
                                   data.begin() + ptrdiff_t(offset + 16 * blocks)));
        }
    }
}

// Round trip with the package key, as the packer enciphers and the Update run deciphers.
TEST(AesDecipherImage, DeciphersThroughTheSpareBlockAndNoFurther) {
    struct Case {
        size_t length;
        size_t deciphered;
    } cases[] = {
        {0, 16},         {15, 16},         {16, 32},         {20, 32},
        {512, 528},      {394'240, 394'256}, {524'272, 524'288},
    };
    const Bytes plain = RandomBytes(kImageBufferSize, 1);
    AesCipher aes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes expected = plain;
        std::fill(expected.begin() + ptrdiff_t(c.deciphered), expected.end(), uint8_t(0xA5));
        Bytes buf = expected;
        EncipherWithPackageKey(buf.data(), c.deciphered);
        ASSERT_NE(buf, expected);

        ASSERT_TRUE(DecipherImage(aes, buf.data(), c.length));
        EXPECT_EQ(buf, expected);
    }
}

TEST(AesDecipherImage, RefusesLengthsThatWouldOverrunTheImageBuffer) {
    AesCipher aes;
    for (size_t length : {kMaxCipheredImage + 1, kImageBufferSize, size_t(-1)}) {
        SCOPED_TRACE(length);
        Bytes buf = RandomBytes(kImageBufferSize + 32, 2);  // slack so a bad guard fails cleanly
        const Bytes before = buf;
        EXPECT_FALSE(DecipherImage(aes, buf.data(), length));
        EXPECT_EQ(buf, before);
    }
}

TEST(AesDecipherImage, EqualBlocksDecipherEquallyAnywhere) {
    const size_t length = 8192;
    Bytes buf = RandomBytes(length + 16, 3);
    const Bytes plain_block = Hex(kFipsVectors[1].plain);
    Bytes cipher_block = plain_block;
    EncipherWithPackageKey(cipher_block.data(), cipher_block.size());

    const size_t offsets[] = {0, 48, 4096, length - 16, length};
    for (size_t off : offsets) std::copy(cipher_block.begin(), cipher_block.end(), buf.begin() + ptrdiff_t(off));

    AesCipher aes;
    ASSERT_TRUE(DecipherImage(aes, buf.data(), length));
    for (size_t off : offsets) {
        SCOPED_TRACE(off);
        EXPECT_EQ(Bytes(buf.begin() + ptrdiff_t(off), buf.begin() + ptrdiff_t(off + 16)), plain_block);
    }
}

}  // namespace
}  // namespace orvane::package

// The packer's SHA-256 against the published FIPS 180 examples, fed whole and in pieces that
// straddle the 64-byte blocks and the padding's 56-byte boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pack/sha256.h"

namespace orvane::pack::test {
namespace {

TEST(Sha256, PublishedExamplesWholeAndInPieces) {
    const struct {
        std::string message;
        const char* digest;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: padding takes a second block
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message.substr(0, 20) + " (" + std::to_string(row.message.size()) + " bytes)");
        const auto* bytes = reinterpret_cast<const uint8_t*>(row.message.data());
        EXPECT_EQ(Sha256Hex(bytes, row.message.size()), row.digest);
        for (size_t piece : {1u, 7u, 55u, 63u, 64u, 65u, 1000u}) {
            Sha256 s;
            for (size_t at = 0; at < row.message.size(); at += piece)
                s.Update(bytes + at, std::min(piece, row.message.size() - at));
            EXPECT_EQ(s.FinalHex(), row.digest) << "in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace orvane::pack::test

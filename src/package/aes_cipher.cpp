#include "package/aes_cipher.h"

#include "package/aes_ni.h"
#include "package/package_layout.h"

namespace orvane::package {

namespace {

constexpr int kRounds = 10;

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
uint8_t XTime(uint8_t a) { return uint8_t((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00)); }

uint8_t Mul(uint8_t a, uint8_t b) {
    uint8_t p = 0;
    while (b) {
        if (b & 1) p ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return p;
}

uint8_t Rotl8(uint8_t x, int n) { return uint8_t((x << n) | (x >> (8 - n))); }
// n is 0..31; a shift by 32 (n = 0) would be undefined, so both counts stay below 32.
uint32_t Rotr32(uint32_t x, int n) { return (x >> (n & 31)) | (x << ((32 - n) & 31)); }

uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return (uint32_t(b0) << 24) | (uint32_t(b1) << 16) | (uint32_t(b2) << 8) | uint32_t(b3);
}

uint32_t Load(const uint8_t* p) { return Word(p[0], p[1], p[2], p[3]); }

void Store(uint8_t* p, uint32_t w) {
    p[0] = uint8_t(w >> 24);
    p[1] = uint8_t(w >> 16);
    p[2] = uint8_t(w >> 8);
    p[3] = uint8_t(w);
}

uint8_t B(uint32_t w, int i) { return uint8_t(w >> (24 - 8 * i)); }

}  // namespace

AesCipher::AesCipher(AesEngine engine)
    : enc_keys_{}, dec_keys_{}, enc_bytes_{}, dec_bytes_{},
      instructions_(engine == AesEngine::Fastest && aes_ni::Available()) {
    // Powers and logarithms of the generator 3 give the multiplicative inverses.
    uint8_t pow[255];
    uint8_t log[256] = {};
    uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        pow[i] = x;
        log[x] = uint8_t(i);
        x ^= XTime(x);  // x * 3
    }

    for (int i = 0; i < 256; ++i) {
        uint8_t inv = i == 0 ? 0 : pow[(255 - log[i]) % 255];
        uint8_t s = inv ^ Rotl8(inv, 1) ^ Rotl8(inv, 2) ^ Rotl8(inv, 3) ^ Rotl8(inv, 4) ^ 0x63;
        sbox_[i] = s;
        inv_sbox_[s] = uint8_t(i);
    }

    for (int i = 0; i < 256; ++i) {
        uint8_t s = sbox_[i];
        uint32_t f = Word(Mul(s, 2), s, s, Mul(s, 3));
        uint8_t t = inv_sbox_[i];
        uint32_t v = Word(Mul(t, 14), Mul(t, 9), Mul(t, 13), Mul(t, 11));
        for (int k = 0; k < 4; ++k) {
            fwd_[k][i] = Rotr32(f, 8 * k);
            inv_[k][i] = Rotr32(v, 8 * k);
        }
    }

    uint8_t rc = 1;
    for (int i = 0; i < kRounds; ++i) {
        rcon_[i] = uint32_t(rc) << 24;
        rc = XTime(rc);
    }
}

void AesCipher::SetKey(const uint8_t key[16]) {
    uint32_t* w = enc_keys_;
    for (int i = 0; i < 4; ++i) w[i] = Load(key + 4 * i);
    for (int i = 4; i < 4 * (kRounds + 1); ++i) {
        uint32_t t = w[i - 1];
        if (i % 4 == 0) {
            t = Word(sbox_[B(t, 1)], sbox_[B(t, 2)], sbox_[B(t, 3)], sbox_[B(t, 0)]) ^ rcon_[i / 4 - 1];
        }
        w[i] = w[i - 4] ^ t;
    }

    // Equivalent inverse cipher: rounds reversed, InvMixColumns folded into the inner round keys.
    // The inverse tables undo the S-box, so S-box first leaves InvMixColumns alone.
    for (int r = 0; r <= kRounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            uint32_t k = enc_keys_[4 * (kRounds - r) + c];
            if (r != 0 && r != kRounds) {
                k = inv_[0][sbox_[B(k, 0)]] ^ inv_[1][sbox_[B(k, 1)]] ^ inv_[2][sbox_[B(k, 2)]] ^
                    inv_[3][sbox_[B(k, 3)]];
            }
            dec_keys_[4 * r + c] = k;
        }
    }

    // The instructions' round keys are the same words, each stored first byte first; the
    // decipher instructions take the equivalent inverse cipher's schedule as it is.
    for (int i = 0; i < 4 * (kRounds + 1); ++i) {
        Store(enc_bytes_ + 4 * i, enc_keys_[i]);
        Store(dec_bytes_ + 4 * i, dec_keys_[i]);
    }
}

namespace {

using Table = uint32_t[256];

// One column of a full round: four lookups, one per row, each from its own table. The rounds
// are written out column by column so the compiler keeps them as scalar loads: a loop over
// the columns invites the vectoriser, whose gathers are slower than the lookups themselves.
inline uint32_t Column(const Table* T, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    return T[0][a >> 24] ^ T[1][(b >> 16) & 0xFF] ^ T[2][(c >> 8) & 0xFF] ^ T[3][d & 0xFF] ^ k;
}

inline uint32_t LastColumn(const uint8_t* box, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    return (uint32_t(box[a >> 24]) << 24 | uint32_t(box[(b >> 16) & 0xFF]) << 16 |
            uint32_t(box[(c >> 8) & 0xFF]) << 8 | uint32_t(box[d & 0xFF])) ^
           k;
}

// Row i of column c comes from column c+i.
void EncipherBlock(uint8_t* p, const uint32_t* rk, const Table* T, const uint8_t* box) {
    uint32_t s0 = Load(p) ^ rk[0], s1 = Load(p + 4) ^ rk[1], s2 = Load(p + 8) ^ rk[2], s3 = Load(p + 12) ^ rk[3];
    for (int r = 1; r < kRounds; ++r) {
        rk += 4;
        const uint32_t t0 = Column(T, s0, s1, s2, s3, rk[0]);
        const uint32_t t1 = Column(T, s1, s2, s3, s0, rk[1]);
        const uint32_t t2 = Column(T, s2, s3, s0, s1, rk[2]);
        const uint32_t t3 = Column(T, s3, s0, s1, s2, rk[3]);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    Store(p, LastColumn(box, s0, s1, s2, s3, rk[0]));
    Store(p + 4, LastColumn(box, s1, s2, s3, s0, rk[1]));
    Store(p + 8, LastColumn(box, s2, s3, s0, s1, rk[2]));
    Store(p + 12, LastColumn(box, s3, s0, s1, s2, rk[3]));
}

// Row i of column c comes from column c-i.
void DecipherBlock(uint8_t* p, const uint32_t* rk, const Table* T, const uint8_t* box) {
    uint32_t s0 = Load(p) ^ rk[0], s1 = Load(p + 4) ^ rk[1], s2 = Load(p + 8) ^ rk[2], s3 = Load(p + 12) ^ rk[3];
    for (int r = 1; r < kRounds; ++r) {
        rk += 4;
        const uint32_t t0 = Column(T, s0, s3, s2, s1, rk[0]);
        const uint32_t t1 = Column(T, s1, s0, s3, s2, rk[1]);
        const uint32_t t2 = Column(T, s2, s1, s0, s3, rk[2]);
        const uint32_t t3 = Column(T, s3, s2, s1, s0, rk[3]);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    Store(p, LastColumn(box, s0, s3, s2, s1, rk[0]));
    Store(p + 4, LastColumn(box, s1, s0, s3, s2, rk[1]));
    Store(p + 8, LastColumn(box, s2, s1, s0, s3, rk[2]));
    Store(p + 12, LastColumn(box, s3, s2, s1, s0, rk[3]));
}

// Two blocks at once: their rounds do not depend on each other, so the lookups of one fill the
// waits of the other (about an eighth faster than one block at a time).
void DecipherTwoBlocks(uint8_t* p, const uint32_t* rk, const Table* T, const uint8_t* box) {
    uint32_t s0 = Load(p) ^ rk[0], s1 = Load(p + 4) ^ rk[1], s2 = Load(p + 8) ^ rk[2], s3 = Load(p + 12) ^ rk[3];
    uint32_t u0 = Load(p + 16) ^ rk[0], u1 = Load(p + 20) ^ rk[1], u2 = Load(p + 24) ^ rk[2],
             u3 = Load(p + 28) ^ rk[3];
    for (int r = 1; r < kRounds; ++r) {
        rk += 4;
        const uint32_t t0 = Column(T, s0, s3, s2, s1, rk[0]);
        const uint32_t v0 = Column(T, u0, u3, u2, u1, rk[0]);
        const uint32_t t1 = Column(T, s1, s0, s3, s2, rk[1]);
        const uint32_t v1 = Column(T, u1, u0, u3, u2, rk[1]);
        const uint32_t t2 = Column(T, s2, s1, s0, s3, rk[2]);
        const uint32_t v2 = Column(T, u2, u1, u0, u3, rk[2]);
        const uint32_t t3 = Column(T, s3, s2, s1, s0, rk[3]);
        const uint32_t v3 = Column(T, u3, u2, u1, u0, rk[3]);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
        u0 = v0, u1 = v1, u2 = v2, u3 = v3;
    }
    rk += 4;
    Store(p, LastColumn(box, s0, s3, s2, s1, rk[0]));
    Store(p + 4, LastColumn(box, s1, s0, s3, s2, rk[1]));
    Store(p + 8, LastColumn(box, s2, s1, s0, s3, rk[2]));
    Store(p + 12, LastColumn(box, s3, s2, s1, s0, rk[3]));
    Store(p + 16, LastColumn(box, u0, u3, u2, u1, rk[0]));
    Store(p + 20, LastColumn(box, u1, u0, u3, u2, rk[1]));
    Store(p + 24, LastColumn(box, u2, u1, u0, u3, rk[2]));
    Store(p + 28, LastColumn(box, u3, u2, u1, u0, rk[3]));
}

}  // namespace

void AesCipher::Run(uint8_t* buffer, size_t length, CipherDirection dir) const {
#if ORVANE_AES_NI
    if (instructions_) {
        if (dir == CipherDirection::Encipher) {
            aes_ni::Encipher(enc_bytes_, buffer, length / 16);
        } else {
            aes_ni::Decipher(dec_bytes_, buffer, length / 16);
        }
        return;
    }
#endif
    if (dir == CipherDirection::Encipher) {
        for (size_t off = 0; off + 16 <= length; off += 16) EncipherBlock(buffer + off, enc_keys_, fwd_, sbox_);
    } else {
        size_t off = 0;
        for (; off + 32 <= length; off += 32) DecipherTwoBlocks(buffer + off, dec_keys_, inv_, inv_sbox_);
        if (off + 16 <= length) DecipherBlock(buffer + off, dec_keys_, inv_, inv_sbox_);
    }
}

bool DecipherImage(AesCipher& context, uint8_t* buffer, size_t length) {
    // The spare block past the image must still lie inside the image buffer.
    if (length > kMaxCipheredImage) return false;

    uint8_t key[16];
    AssemblePackageKey(key);
    context.SetKey(key);
    volatile uint8_t* wipe = key;
    for (int i = 0; i < 16; ++i) wipe[i] = 0;

    const size_t span = (length + 16) & ~size_t(15);
    context.Run(buffer, span, CipherDirection::Decipher);
    return true;
}

}  // namespace orvane::package

#include "Aes256.h"

#include "Wipe.h"

#include <cstring>

namespace Base {
namespace Encrypt {

namespace {

using Byte = std::uint8_t;

Byte rotateLeft(Byte value, int bits)
{
    return static_cast<Byte>((value << bits) | (value >> (8 - bits)));
}

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
Byte times2(Byte value)
{
    return static_cast<Byte>((value << 1) ^ ((value & 0x80) ? 0x1B : 0));
}

Byte multiply(Byte a, Byte b)
{
    Byte product = 0;
    for (; b; b >>= 1, a = times2(a)) {
        if (b & 1)
            product ^= a;
    }
    return product;
}

// The S-box and its inverse, built from their definition: the multiplicative
// inverse followed by the affine map. p runs over the powers of 3 (a
// generator) while q runs over their inverses, the powers of 3^-1.
struct SBoxes
{
    Byte forward[256];
    Byte inverse[256];

    SBoxes()
    {
        Byte p = 1;
        Byte q = 1;
        do {
            p = static_cast<Byte>(p ^ times2(p));
            q = static_cast<Byte>(q ^ (q << 1));
            q = static_cast<Byte>(q ^ (q << 2));
            q = static_cast<Byte>(q ^ (q << 4));
            if (q & 0x80)
                q ^= 0x09;
            const Byte s = static_cast<Byte>(q ^ rotateLeft(q, 1) ^ rotateLeft(q, 2) ^ rotateLeft(q, 3)
                                             ^ rotateLeft(q, 4) ^ 0x63);
            forward[p] = s;
            inverse[s] = p;
        } while (p != 1);
        forward[0] = 0x63;
        inverse[0x63] = 0;
    }
};

const SBoxes& sBoxes()
{
    static const SBoxes boxes;
    return boxes;
}

// The state is column-major: byte r of column c is state[4 * c + r].
void addRoundKey(Byte* state, const Byte* roundKey)
{
    for (int i = 0; i < Aes256::kBlockSize; ++i)
        state[i] ^= roundKey[i];
}

void substitute(Byte* state, const Byte* box)
{
    for (int i = 0; i < Aes256::kBlockSize; ++i)
        state[i] = box[state[i]];
}

// Row r moves r columns to the left (right when inverse).
void shiftRows(Byte* state, bool inverse)
{
    Byte shifted[Aes256::kBlockSize];
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            const int from = 4 * ((inverse ? c + 4 - r : c + r) % 4) + r;
            shifted[4 * c + r] = state[from];
        }
    }
    std::memcpy(state, shifted, sizeof shifted);
}

// Each column times the circulant matrix whose first row is factors.
void mixColumns(Byte* state, const Byte (&factors)[4])
{
    for (int c = 0; c < 4; ++c) {
        Byte* column = state + 4 * c;
        Byte mixed[4] = {};
        for (int r = 0; r < 4; ++r) {
            for (int k = 0; k < 4; ++k)
                mixed[r] ^= multiply(factors[(k + 4 - r) % 4], column[k]);
        }
        std::memcpy(column, mixed, sizeof mixed);
    }
}

constexpr Byte kMix[4] = {2, 3, 1, 1};
constexpr Byte kInverseMix[4] = {14, 11, 13, 9};

} // namespace

Aes256::Aes256(const unsigned char* key)
{
    const Byte* box = sBoxes().forward;
    std::memcpy(m_roundKeys, key, kKeySize);
    Byte roundConstant = 1;
    for (int i = kKeySize; i < static_cast<int>(sizeof m_roundKeys); i += 4) {
        Byte word[4];
        std::memcpy(word, m_roundKeys + i - 4, 4);
        if (i % kKeySize == 0) {
            const Byte first = word[0];
            for (int k = 0; k < 3; ++k)
                word[k] = box[word[k + 1]];
            word[3] = box[first];
            word[0] ^= roundConstant;
            roundConstant = times2(roundConstant);
        } else if (i % kKeySize == 16) {
            for (Byte& b : word)
                b = box[b];
        }
        for (int k = 0; k < 4; ++k)
            m_roundKeys[i + k] = static_cast<Byte>(m_roundKeys[i - kKeySize + k] ^ word[k]);
    }
}

Aes256::~Aes256()
{
    wipe(m_roundKeys, sizeof m_roundKeys);
}

void Aes256::encryptBlock(const unsigned char* in, unsigned char* out) const
{
    const Byte* box = sBoxes().forward;
    Byte state[kBlockSize];
    std::memcpy(state, in, kBlockSize);
    addRoundKey(state, m_roundKeys);
    for (int round = 1; round <= kRounds; ++round) {
        substitute(state, box);
        shiftRows(state, false);
        if (round != kRounds)
            mixColumns(state, kMix);
        addRoundKey(state, m_roundKeys + kBlockSize * round);
    }
    std::memcpy(out, state, kBlockSize);
}

void Aes256::decryptBlock(const unsigned char* in, unsigned char* out) const
{
    const Byte* box = sBoxes().inverse;
    Byte state[kBlockSize];
    std::memcpy(state, in, kBlockSize);
    addRoundKey(state, m_roundKeys + kBlockSize * kRounds);
    for (int round = kRounds - 1; round >= 0; --round) {
        shiftRows(state, true);
        substitute(state, box);
        addRoundKey(state, m_roundKeys + kBlockSize * round);
        if (round != 0)
            mixColumns(state, kInverseMix);
    }
    std::memcpy(out, state, kBlockSize);
}

} // namespace Encrypt
} // namespace Base

#include "core/Base64.h"

#include <cstring>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: halves the table look-ups of the hot loop.
struct PairTable {
    char pairs[4096][2];
    PairTable() {
        for (int i = 0; i < 4096; ++i) {
            pairs[i][0] = kAlphabet[i >> 6];
            pairs[i][1] = kAlphabet[i & 63];
        }
    }
};
const PairTable kPairs;

inline void EncodeFull(const unsigned char* in, char* out) {
    unsigned v = (unsigned(in[0]) << 16) | (unsigned(in[1]) << 8) | in[2];
    std::memcpy(out, kPairs.pairs[v >> 12], 2);
    std::memcpy(out + 2, kPairs.pairs[v & 0xfff], 2);
}

} // namespace

void Base64EncodeGroup(const unsigned char* in, int count, char* out) {
    unsigned b0 = in[0];
    unsigned b1 = count > 1 ? in[1] : 0;
    unsigned b2 = count > 2 ? in[2] : 0;
    out[0] = kAlphabet[b0 >> 2];
    out[1] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
    out[2] = count > 1 ? kAlphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    out[3] = count > 2 ? kAlphabet[b2 & 63] : '=';
}

std::size_t Base64Encode(const unsigned char* in, std::size_t count, char* out) {
    std::size_t full = count / 3;
    char* o = out;
    for (std::size_t i = 0; i < full; ++i, in += 3, o += 4) EncodeFull(in, o);
    if (count % 3) {
        Base64EncodeGroup(in, static_cast<int>(count % 3), o);
        o += 4;
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t Base64LinesSize(std::size_t count) {
    std::size_t chars = 4 * ((count + 2) / 3);
    return chars + 2 * (4 * (count / 3) / 76);
}

std::size_t Base64EncodeLines(const unsigned char* in, std::size_t count, char* out) {
    char* o = out;
    // Whole lines: 57 bytes give 76 characters and CR LF.
    std::size_t lines = count / 57;
    for (std::size_t l = 0; l < lines; ++l) {
        for (int g = 0; g < 19; ++g, in += 3, o += 4) EncodeFull(in, o);
        *o++ = '\r';
        *o++ = '\n';
    }
    std::size_t rest = count - lines * 57;
    std::size_t full = rest / 3;
    for (std::size_t i = 0; i < full; ++i, in += 3, o += 4) EncodeFull(in, o);
    if (rest % 3) {
        Base64EncodeGroup(in, static_cast<int>(rest % 3), o);
        o += 4;
    }
    return static_cast<std::size_t>(o - out);
}

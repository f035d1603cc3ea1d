#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "core/Base64.h"

namespace {

using testutil::RandomBytes;

// The bytes after the input are 0xff: a short last group must not take their bits.
std::string Plain(const std::string& in) {
    std::string out(4 * ((in.size() + 2) / 3), '?'), padded = in + "\xff\xff";
    std::size_t n = Base64Encode(reinterpret_cast<const unsigned char*>(padded.data()), in.size(), out.data());
    EXPECT_EQ(n, out.size());
    return out;
}

std::string Lines(const std::string& in) {
    std::string out(Base64LinesSize(in.size()), '?');
    std::size_t n = Base64EncodeLines(reinterpret_cast<const unsigned char*>(in.data()), in.size(), out.data());
    EXPECT_EQ(n, out.size());
    return out;
}

// Bit by bit, the way RFC 4648 describes it: a second opinion on the fast path,
// so the standard's vectors need no table of their own.
std::string Reference(const std::string& in) {
    static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bits;
    for (unsigned char c : in)
        for (int b = 7; b >= 0; --b) bits += ((c >> b) & 1) ? '1' : '0';
    while (bits.size() % 6) bits += '0';
    std::string out;
    for (std::size_t i = 0; i < bits.size(); i += 6) out += a[std::stoi(bits.substr(i, 6), nullptr, 2)];
    while (out.size() % 4) out += '=';
    return out;
}

TEST(Base64, AgreesWithBitwiseReferenceOnAllTailLengths) {
    for (std::size_t n = 0; n < 200; ++n) {
        std::string in = RandomBytes(n, static_cast<unsigned>(n));
        ASSERT_EQ(Plain(in), Reference(in)) << "length " << n;
    }
}

TEST(Base64Lines, ChunksOfWholeLinesJoinToTheSameText) {
    // Encoding in pieces that are multiples of 57 bytes must equal encoding whole;
    // this is how a file streams through bounded buffers.
    std::string in = RandomBytes(57 * 300 + 13, 11);
    std::string whole = Lines(in);
    std::string stripped;
    for (char c : whole)
        if (c != '\r' && c != '\n') stripped += c;
    EXPECT_EQ(stripped, Reference(in));
    for (std::size_t chunk : {std::size_t(57), std::size_t(3648), std::size_t(57 * 7)}) {
        std::string joined;
        for (std::size_t at = 0; at < in.size(); at += chunk) joined += Lines(in.substr(at, chunk));
        EXPECT_EQ(joined, whole) << "chunk " << chunk;
    }
}

} // namespace

#pragma once
#include <cstddef>
#include <cstdint>

// Encodes 1 to 3 bytes into 4 characters, '=' padding the short forms.
void Base64EncodeGroup(const unsigned char* in, int count, char* out);

// Plain base64 of count bytes, no line breaks; out must hold 4 * ceil(count / 3)
// characters. Returns the number written; no NUL is added.
std::size_t Base64Encode(const unsigned char* in, std::size_t count, char* out);

// Base64 with CR LF after every 76 characters, the counter starting at zero.
// The short group at the end is appended without a line-break check.
// out must hold Base64LinesSize(count) bytes. Returns the number written.
std::size_t Base64EncodeLines(const unsigned char* in, std::size_t count, char* out);
std::size_t Base64LinesSize(std::size_t count);

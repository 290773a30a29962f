// Characters: code page 437 bytes to Unicode, UTF-8 encoding and decoding, and
// the ASCII upper case that names, options and extensions are compared in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Unicode code point of code page 437 byte c (0 and 255 give U+0020).
uint16_t codepage_to_unicode(uint8_t c);

// Appends code point u as UTF-8, one to four bytes; above U+10FFFF nothing.
void utf8_append(std::string& out, uint32_t u);

// Reads the UTF-8 sequence at the start of text into *u and returns its length
// in bytes (1 to 4); 0 when the sequence is broken (a stray or missing
// continuation byte, a cut end, an overlong form or a byte that starts none).
// Surrogates and code points up to 0x1FFFFF are read as they stand.
size_t utf8_decode(std::string_view text, uint32_t* u);

// 'a' to 'z' become 'A' to 'Z'; every other byte stays.
inline char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

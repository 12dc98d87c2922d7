#include "unicode.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace unicode {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string &out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// Length of the well-formed UTF-8 sequence at the start of bytes and its
// code point, or 0 when the sequence is malformed (overlong, surrogate,
// beyond U+10FFFF or truncated).
std::size_t DecodeUtf8(std::string_view bytes, char32_t &c) {
    const auto b0 = static_cast<std::uint8_t>(bytes[0]);
    std::size_t length;
    char32_t min;
    if (b0 < 0x80) {
        c = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2, min = 0x80, c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, min = 0x800, c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, c = b0 & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))
        return 0;
    return length;
}

// UTF-8 to UTF-16; a byte outside any well-formed sequence becomes U+FFFD,
// or, to escape it, the lone surrogate U+DC00 + byte.
std::u16string DecodeAll(std::string_view bytes, bool escape) {
    std::u16string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t c;
        std::size_t length = DecodeUtf8(bytes, c);
        if (length == 0) {
            c = escape ? 0xDC00 + static_cast<std::uint8_t>(bytes[0]) : kReplacement;
            length = 1;
        }
        AppendUtf16(out, c);
        bytes.remove_prefix(length);
    }
    return out;
}

// A lone low surrogate from U+DC80 to U+DCFF: a byte that Utf8ToUtf16Escaped
// could not decode.
bool IsEscapedByte(std::u16string_view text, std::size_t i) {
    const char16_t c = text[i];
    return c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !IsHighSurrogate(text[i - 1]));
}

// The upper half of Windows-1251; 0x98 is unassigned.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// Every byte's character, in one look-up: the usage text is decoded at
// every start.
constexpr std::array<char16_t, 256> MakeCp1251Table() {
    std::array<char16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte)
        table[byte] = byte < 0x80 ? static_cast<char16_t>(byte)
                      : byte < 0xC0
                          ? kCp1251High[byte - 0x80]
                          : static_cast<char16_t>(0x0410 + (byte - 0xC0)); // А..я in order
    return table;
}
constexpr std::array<char16_t, 256> kCp1251 = MakeCp1251Table();

} // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    if (IsAscii(text)) // most texts: a plain narrowing copy
        return std::string(text.begin(), text.end());
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c < 0x80) { // the common case: one byte, no checks
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = '?';
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes) { return DecodeAll(bytes, false); }

std::u16string Utf8ToUtf16Escaped(std::string_view bytes) { return DecodeAll(bytes, true); }

std::string Utf16ToUtf8Escaped(std::u16string_view text) {
    std::string out;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = start;
        while (end < text.size() && !IsEscapedByte(text, end))
            ++end;
        out += Utf16ToUtf8(text.substr(start, end - start));
        for (; end < text.size() && IsEscapedByte(text, end); ++end)
            out += static_cast<char>(text[end] - 0xDC00);
        start = end;
    }
    return out;
}

bool HasEscapedBytes(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (IsEscapedByte(text, i))
            return true;
    return false;
}

std::u16string Cp1251ToUtf16(std::string_view bytes) {
    if (IsAscii(bytes)) // the report templates: a plain widening copy
        return std::u16string(reinterpret_cast<const unsigned char *>(bytes.data()),
                              reinterpret_cast<const unsigned char *>(bytes.data()) + bytes.size());
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = kCp1251[static_cast<std::uint8_t>(bytes[i])];
    return out;
}

bool IsAscii(std::u16string_view text) {
    char16_t any = 0;
    for (char16_t c : text)
        any |= c;
    return any < 0x80;
}

bool IsAscii(std::string_view bytes) {
    unsigned char any = 0;
    for (char b : bytes)
        any |= static_cast<unsigned char>(b);
    return any < 0x80;
}

std::u16string AsciiToUtf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The search runs on the bytes with memchr, which is many times faster than
// a search through 16-bit characters, and checks each candidate as
// characters.
std::size_t Find(std::u16string_view text, std::u16string_view what, std::size_t from) {
    if (what.empty() || what.size() > text.size())
        return std::u16string_view::npos;
    const char *bytes = reinterpret_cast<const char *>(text.data());
    const std::size_t end = (text.size() - what.size() + 1) * sizeof(char16_t);
    const int lowByte = what[0] & 0xFF;
    for (std::size_t offset = from * sizeof(char16_t); offset < end; ++offset) {
        const void *hit = std::memchr(bytes + offset, lowByte, end - offset);
        if (hit == nullptr)
            break;
        offset = static_cast<std::size_t>(static_cast<const char *>(hit) - bytes);
        const std::size_t at = offset / sizeof(char16_t);
        if (text.substr(at, what.size()) == what)
            return at;
    }
    return std::u16string_view::npos;
}

namespace {

// A character outside the BMP, back as its two halves (never past i).
void AppendUtf16At(std::u16string &text, std::size_t &to, char32_t c) {
    text[to++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    text[to++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
}

} // namespace

void ReplaceControlCharacters(std::u16string &text) {
    std::size_t to = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool pair = IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        if (pair)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            text[to++] = u'?';
        else if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            text[to++] = kReplacement;
        else if (pair)
            AppendUtf16At(text, to, c);
        else
            text[to++] = static_cast<char16_t>(c);
    }
    text.resize(to);
}

} // namespace unicode

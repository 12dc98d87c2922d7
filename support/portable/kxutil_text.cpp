// The portable part of kxutil: trimming and the number and size texts, the
// same on every platform so that reports read alike everywhere.
#include "kxutil.h"
#include "unicode.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace kxutil {
namespace {

struct TrimSet {
    bool spaces, tabs, cr, lf, nul, vtff, nbsp, unicodeSpaces;
};

bool IsUnicodeSpace(char16_t c) {
    return c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

bool InTrimSet(const TrimSet &set, char16_t c) {
    return (set.spaces && c == u' ') || (set.tabs && c == u'\t') || (set.cr && c == u'\r') ||
           (set.lf && c == u'\n') || (set.nul && c == 0) ||
           (set.vtff && (c == u'\v' || c == u'\f')) || (set.nbsp && c == 0x00A0) ||
           (set.unicodeSpaces && IsUnicodeSpace(c));
}

std::u16string_view TrimEnds(std::u16string_view text, const TrimSet &set, bool leading,
                             bool trailing) {
    if (leading)
        while (!text.empty() && InTrimSet(set, text.front()))
            text.remove_prefix(1);
    if (trailing)
        while (!text.empty() && InTrimSet(set, text.back()))
            text.remove_suffix(1);
    return text;
}

// Writes the integer part and the first `decimals` decimals of
// value / 2^shift, truncated, by exact long division.
std::string TruncatedQuotient(std::uint64_t value, unsigned shift, int decimals) {
    const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
    std::string text = std::to_string(value >> shift);
    if (decimals > 0)
        text += '.';
    std::uint64_t remainder = value & mask;
    for (int i = 0; i < decimals; ++i) {
        remainder *= 10; // remainder < 2^60, so this stays below 2^64
        text += static_cast<char>('0' + (remainder >> shift));
        remainder &= mask;
    }
    return text;
}

// Three significant digits, truncated, in the largest unit that keeps the
// number below 1000; values under 1 KB are whole bytes.
std::string ByteSizeText(std::uint64_t bytes) {
    static const char *const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    unsigned unit = 0;
    while (unit < 5 && (bytes >> (10 * (unit + 1))) >= 1000)
        ++unit;
    const unsigned shift = 10 * (unit + 1);
    const std::uint64_t whole = bytes >> shift;
    const int decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
    return TruncatedQuotient(bytes, shift, decimals) + " " + kUnits[unit];
}

std::u16string BinaryDigits(std::uint64_t value, int width) {
    std::u16string text(static_cast<std::size_t>(width), u'0');
    for (int i = 0; i < width; ++i)
        if ((value >> (width - 1 - i)) & 1)
            text[static_cast<std::size_t>(i)] = u'1';
    return text;
}

std::u16string HexDigits(std::uint64_t value, int width) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%0*llX", width, static_cast<unsigned long long>(value));
    return unicode::AsciiToUtf16(buffer);
}

} // namespace

Status kxRTrimEx(std::u16string_view text, std::u16string &trimmed) {
    const TrimSet blanks{true, true, false, false, false, false, false, false};
    trimmed = std::u16string(TrimEnds(text, blanks, false, true));
    return kOk;
}

Status kxTrimEx2(std::u16string_view text, std::int16_t spaces, std::int16_t tabs, std::int16_t cr,
                 std::int16_t lf, std::int16_t nul, std::int16_t vtff, std::int16_t nbsp,
                 std::int16_t unicodeSpaces, std::int16_t keepLeading, std::int16_t keepTrailing,
                 std::u16string &trimmed) {
    const TrimSet set{spaces != 0, tabs != 0, cr != 0,   lf != 0,
                      nul != 0,    vtff != 0, nbsp != 0, unicodeSpaces != 0};
    trimmed = std::u16string(TrimEnds(text, set, keepLeading == 0, keepTrailing == 0));
    return kOk;
}

Status kxDestroyDoubleSpaces(std::u16string_view text, std::u16string &collapsed) {
    collapsed.clear();
    collapsed.reserve(text.size());
    for (char16_t c : text)
        if (c != u' ' || collapsed.empty() || collapsed.back() != u' ')
            collapsed += c;
    return kOk;
}

Status kxFormatLong(std::int32_t value, std::u16string &text) {
    text = unicode::AsciiToUtf16(std::to_string(value));
    return kOk;
}

Status kxFormatByteSizeEx(double bytes, std::u16string &text) {
    if (std::isnan(bytes) || std::isinf(bytes))
        return kErrRange;
    const double magnitude = std::floor(std::fabs(bytes));
    std::string body;
    if (magnitude < 18446744073709551616.0) { // 2^64
        body = ByteSizeText(static_cast<std::uint64_t>(magnitude));
    } else {
        // Beyond 16 EB: whole exabytes, still truncated.
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f EB",
                      std::floor(magnitude / 1152921504606846976.0));
        body = buffer;
    }
    if (bytes < 0 && magnitude > 0)
        body.insert(0, 1, '-');
    text = unicode::AsciiToUtf16(body);
    return kOk;
}

Status kxLongToUnsignedLong(std::int32_t value, double &unsignedValue) {
    unsignedValue = static_cast<double>(static_cast<std::uint32_t>(value));
    return kOk;
}

Status kxHexEx4(std::uint32_t value, std::u16string &text) {
    text = HexDigits(value, 8);
    return kOk;
}

Status kxHexEx8(std::uint64_t value, std::u16string &text) {
    text = HexDigits(value, 16);
    return kOk;
}

Status kxBin4(std::uint32_t value, std::u16string &text) {
    text = BinaryDigits(value, 32);
    return kOk;
}

Status kxBin8(std::uint64_t value, std::u16string &text) {
    text = BinaryDigits(value, 64);
    return kOk;
}

Status kxHiByte(std::uint16_t value, std::uint8_t &high) {
    high = static_cast<std::uint8_t>(value >> 8);
    return kOk;
}

Status kxLoByte(std::uint16_t value, std::uint8_t &low) {
    low = static_cast<std::uint8_t>(value & 0xFF);
    return kOk;
}

Status kxFormatVersion(std::int16_t major, std::int16_t minor, std::int16_t revision,
                       std::u16string &text) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d.%02d.%04d", major, minor, revision);
    text = unicode::AsciiToUtf16(buffer);
    return kOk;
}

std::u16string kxRunTimeErrorLine(std::string_view what, std::int32_t status,
                                  std::string_view detail) {
    std::u16string name;
    if (kxGetModuleBaseName(name).failed())
        name = u"Orbelle";
    std::u16string line =
        name + u": run-time error: " +
        unicode::Utf8ToUtf16(std::string(what) + " failed (status " + std::to_string(status) +
                             ": " + std::string(detail) + ")");
    unicode::ReplaceControlCharacters(line);
    return line;
}

} // namespace kxutil

// What the fuzz targets share: a check that stops the run, a reader for the
// fixed-size head of an input, and plain reference conversions written
// without kxutil, against which kxutil's own texts are compared.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// A violated property: say which, and abort so that libFuzzer keeps the input.
[[noreturn]] inline void Violated(const char *property, const char *file, int line) {
    std::fprintf(stderr, "\n%s:%d: property violated: %s\n", file, line, property);
    std::abort();
}

#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz::Violated(#condition, __FILE__, __LINE__);                                      \
    } while (false)

// Takes fixed-size fields off the front of the input; past its end every
// byte reads as zero, so any input gives a complete head.
class Reader {
  public:
    Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    template <typename T> T Take() {
        std::uint8_t bytes[sizeof(T)] = {};
        for (std::size_t i = 0; i < sizeof(T) && at_ < size_; ++i)
            bytes[i] = data_[at_++];
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    std::string_view TakeBytes(std::size_t count) {
        count = count < size_ - at_ ? count : size_ - at_;
        std::string_view bytes(reinterpret_cast<const char *>(data_ + at_), count);
        at_ += count;
        return bytes;
    }

    std::string_view Rest() { return TakeBytes(size_ - at_); }

  private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// --- Reference conversions ---

using Wide = unsigned __int128;

inline std::string Decimal(Wide value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

inline std::string SignedDecimal(std::int64_t value) {
    return value < 0 ? "-" + Decimal(static_cast<Wide>(-static_cast<__int128>(value)))
                     : Decimal(static_cast<Wide>(value));
}

inline std::u16string Widen(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// "0x" and exactly `digits` upper-case hexadecimal digits.
inline std::string Hex(std::uint64_t value, int digits) {
    std::string text = "0x";
    for (int i = digits - 1; i >= 0; --i)
        text += "0123456789ABCDEF"[(value >> (4 * i)) & 0xF];
    return text;
}

inline std::string Binary(std::uint64_t value, int digits) {
    std::string text;
    for (int i = digits - 1; i >= 0; --i)
        text += ((value >> i) & 1) ? '1' : '0';
    return text;
}

// The whole number of 2^60-byte units in an integral double of at least
// 2^64, exactly, with a small base-10^9 big number.
inline std::string WholeExabytes(double integral) {
    int exponent = 0;
    const double fraction = std::frexp(integral, &exponent); // integral = fraction * 2^exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int shift = exponent - 53 - 60;   // integral / 2^60 = mantissa * 2^shift
    std::vector<std::uint32_t> limbs; // least significant first
    std::uint64_t start = shift >= 0 ? mantissa : mantissa >> -shift;
    do {
        limbs.push_back(static_cast<std::uint32_t>(start % 1000000000));
        start /= 1000000000;
    } while (start != 0);
    while (shift > 0) { // times 2^step, at most 2^29 at a time: limb * 2^29 stays below 2^59
        const int step = shift < 29 ? shift : 29;
        shift -= step;
        std::uint64_t carry = 0;
        for (std::uint32_t &limb : limbs) {
            const std::uint64_t product = (std::uint64_t{limb} << step) + carry;
            limb = static_cast<std::uint32_t>(product % 1000000000);
            carry = product / 1000000000;
        }
        for (; carry != 0; carry /= 1000000000)
            limbs.push_back(static_cast<std::uint32_t>(carry % 1000000000));
    }
    std::string text = std::to_string(limbs.back());
    for (std::size_t i = limbs.size() - 1; i-- > 0;) {
        const std::string part = std::to_string(limbs[i]);
        text += std::string(9 - part.size(), '0') + part;
    }
    return text;
}

// The byte-size text: whole bytes below 1 KB; else three significant digits
// of the number in the largest unit (KB..EB) that keeps it below 1000,
// truncated; beyond 2^64 bytes whole exabytes. Nothing for NaN or infinity.
inline std::optional<std::string> ByteSize(double bytes) {
    if (!std::isfinite(bytes))
        return std::nullopt;
    const double whole = std::trunc(bytes < 0 ? -bytes : bytes);
    std::string body;
    if (whole < 1024) {
        body = Decimal(static_cast<Wide>(whole)) + " bytes";
    } else if (whole < 18446744073709551616.0) {
        static const char *const kUnits[] = {"", "KB", "MB", "GB", "TB", "PB", "EB"};
        const Wide value = static_cast<std::uint64_t>(whole);
        int unit = 1;
        while (unit < 6 && value >= (Wide{1000} << (10 * unit)))
            ++unit;
        const Wide integer = value >> (10 * unit);
        const int decimals = integer < 10 ? 2 : integer < 100 ? 1 : 0;
        const Wide scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
        std::string digits = Decimal((value * scale) >> (10 * unit));
        if (digits.size() < static_cast<std::size_t>(decimals) + 1)
            digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
        if (decimals > 0)
            digits.insert(digits.size() - static_cast<std::size_t>(decimals), 1, '.');
        body = digits + " " + kUnits[unit];
    } else {
        body = WholeExabytes(whole) + " EB";
    }
    return bytes < 0 && whole > 0 ? "-" + body : body;
}

// Every occurrence of `placeholder`, left to right, each replaced once; the
// inserted text is not looked at again.
inline std::u16string ReplaceAll(std::u16string_view text, std::u16string_view placeholder,
                                 std::u16string_view value) {
    const char16_t *const chars = text.data();
    const char16_t *const wanted = placeholder.data();
    const std::size_t size = text.size(), length = placeholder.size();
    std::u16string out;
    std::size_t copied = 0, i = 0;
    while (i + length <= size) {
        std::size_t same = 0;
        while (same < length && chars[i + same] == wanted[same])
            ++same;
        if (same == length) {
            out.append(chars + copied, i - copied).append(value);
            i += length;
            copied = i;
        } else {
            ++i;
        }
    }
    return out.append(chars + copied, size - copied);
}

// The lines as NextLine takes them: no empty line after a final newline.
inline std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// The decimal digits at the front of text, taken off it; nothing without
// digits or when they exceed 64 bits.
inline std::optional<std::uint64_t> Digits(std::string_view &text) {
    std::size_t count = 0;
    Wide value = 0;
    bool overflow = false;
    while (count < text.size() && text[count] >= '0' && text[count] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[count] - '0');
        overflow = overflow || value > UINT64_MAX;
        ++count;
    }
    if (count == 0 || overflow)
        return std::nullopt;
    text.remove_prefix(count);
    return static_cast<std::uint64_t>(value);
}

inline std::string_view WithoutLeadingBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

// The value of a "Key:   N kB" line (as in /proc/meminfo), in bytes, or of
// a "Key:   N" line.
inline std::optional<std::uint64_t> KibibyteField(std::string_view text, std::string_view key) {
    for (std::string_view line : Lines(text)) {
        if (line.size() <= key.size() || line.substr(0, key.size()) != key ||
            line[key.size()] != ':')
            continue;
        std::string_view rest = WithoutLeadingBlanks(line.substr(key.size() + 1));
        const auto number = Digits(rest);
        if (!number)
            return std::nullopt;
        rest = WithoutLeadingBlanks(rest);
        if (rest.empty())
            return number;
        if (rest == "kB" && Wide{*number} * 1024 <= UINT64_MAX)
            return *number * 1024;
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace fuzz

// formatters: kxutil's number texts. The first 8 bytes are a double's bits
// (so NaN payloads, infinities, denormals, negatives and values beyond 2^64
// all occur), the next 8 an integer, the next 6 three version numbers.
//
// Properties: kxFormatByteSizeEx fails exactly for NaN and infinities; else
// it gives printable ASCII equal to the reference conversion ("N bytes" below
// 1 KB, else three significant digits and KB..EB, whole exabytes beyond 2^64
// bytes, '-' only for a negative value). The integer formatters equal plain
// reference conversions.
#include "fuzz_support.h"
#include "kxutil.h"

namespace {

using fuzz::Widen;

std::string ToAscii(const std::u16string &text) {
    std::string out;
    for (char16_t c : text) {
        FUZZ_REQUIRE(c >= 0x20 && c < 0x7F);
        out += static_cast<char>(c);
    }
    return out;
}

// printf's "%0*d": the sign counts towards the width.
std::string ZeroPadded(std::int64_t value, std::size_t width) {
    std::string digits = fuzz::SignedDecimal(value < 0 ? -value : value);
    const std::size_t sign = value < 0 ? 1 : 0;
    if (digits.size() + sign < width)
        digits.insert(0, width - digits.size() - sign, '0');
    return (sign ? "-" : "") + digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Reader input(data, size);
    const double bytes = input.Take<double>();
    const std::uint64_t integer = input.Take<std::uint64_t>();
    const auto major = input.Take<std::int16_t>(), minor = input.Take<std::int16_t>(),
               revision = input.Take<std::int16_t>();

    std::u16string text = u"untouched";
    const kxutil::Status status = kxutil::kxFormatByteSizeEx(bytes, text);
    const std::optional<std::string> expected = fuzz::ByteSize(bytes);
    if (!expected) {
        FUZZ_REQUIRE(status.failed());
    } else {
        FUZZ_REQUIRE(status.ok());
        const std::string ascii = ToAscii(text);
        FUZZ_REQUIRE(ascii == *expected);
    }

    const auto value32 = static_cast<std::uint32_t>(integer);
    const auto signed32 = static_cast<std::int32_t>(value32);
    FUZZ_REQUIRE(kxutil::kxFormatLong(signed32, text).ok());
    FUZZ_REQUIRE(text == Widen(fuzz::SignedDecimal(signed32)));

    double unsignedValue = -1;
    FUZZ_REQUIRE(kxutil::kxLongToUnsignedLong(signed32, unsignedValue).ok());
    FUZZ_REQUIRE(unsignedValue == (signed32 < 0 ? signed32 + 4294967296.0 : signed32));

    FUZZ_REQUIRE(kxutil::kxHexEx4(value32, text).ok());
    FUZZ_REQUIRE(text == Widen(fuzz::Hex(value32, 8)));
    FUZZ_REQUIRE(kxutil::kxHexEx8(integer, text).ok());
    FUZZ_REQUIRE(text == Widen(fuzz::Hex(integer, 16)));
    FUZZ_REQUIRE(kxutil::kxBin4(value32, text).ok());
    FUZZ_REQUIRE(text == Widen(fuzz::Binary(value32, 32)));
    FUZZ_REQUIRE(kxutil::kxBin8(integer, text).ok());
    FUZZ_REQUIRE(text == Widen(fuzz::Binary(integer, 64)));

    const auto word = static_cast<std::uint16_t>(integer);
    std::uint8_t high = 0, low = 0;
    FUZZ_REQUIRE(kxutil::kxHiByte(word, high).ok() && kxutil::kxLoByte(word, low).ok());
    FUZZ_REQUIRE(high == word / 256 && low == word % 256);

    FUZZ_REQUIRE(kxutil::kxFormatVersion(major, minor, revision, text).ok());
    FUZZ_REQUIRE(text == Widen(ZeroPadded(major, 1) + "." + ZeroPadded(minor, 2) + "." +
                               ZeroPadded(revision, 4)));
    return 0;
}

#include "kxutil.h"
#include "unicode.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <iconv.h>
#include <limits>

namespace {

std::string ByteSize(double bytes) {
    std::u16string text;
    EXPECT_GE(kxutil::kxFormatByteSizeEx(bytes, text).value, 0);
    return unicode::Utf16ToUtf8(text);
}

} // namespace

// Whole bytes below 1 KB; else three significant digits, truncated, in the
// largest unit that keeps the number below 1000; whole exabytes from 2^64.
TEST(ByteSize, TruncatedToThreeDigitsInTheLargestUnitBelowAThousand) {
    // clang-format off
    const std::pair<double, const char *> rows[] = {
        {0, "0 bytes"}, {1, "1 bytes"}, {1023, "1023 bytes"}, {1024, "1.00 KB"}, {4096, "4.00 KB"},
        {1535, "1.49 KB"}, {10239, "9.99 KB"}, {10240, "10.0 KB"}, {102400, "100 KB"},
        {999.99 * 1024, "999 KB"}, {15.69 * 1073741824.0, "15.6 GB"}, {1000 * 1024, "0.97 MB"},
        {1023 * 1024, "0.99 MB"}, {1048576, "1.00 MB"}, {131071.99 * 1073741824.0, "127 TB"},
        {std::ldexp(1.0, 60), "1.00 EB"}, {std::ldexp(1.0, 64) - 2048, "15.9 EB"},
        {std::ldexp(1.0, 64), "16 EB"}, {std::ldexp(1.99, 64), "31 EB"},
        {std::ldexp(1.0, 70), "1024 EB"}, {-4096, "-4.00 KB"}, {0.75, "0 bytes"},
        {-0.75, "0 bytes"},
    };
    // clang-format on
    for (const auto &[bytes, text] : rows)
        EXPECT_EQ(ByteSize(bytes), text) << bytes;
    std::u16string text;
    EXPECT_LT(kxutil::kxFormatByteSizeEx(std::numeric_limits<double>::quiet_NaN(), text).value, 0);
    EXPECT_LT(kxutil::kxFormatByteSizeEx(std::numeric_limits<double>::infinity(), text).value, 0);
}

TEST(Trimming, EachEndAndEachKindOfBlankHasItsFlag) {
    std::u16string text;
    kxutil::kxRTrimEx(u"  a b \t  ", text);
    EXPECT_EQ(text, u"  a b");
    kxutil::kxRTrimEx(u"line \r\nnext", text);
    EXPECT_EQ(text, u"line \r\nnext");
    kxutil::kxTrimEx2(u"\f\v a \f", -1, 0, 0, 0, 0, -1, 0, 0, 0, -1, text);
    EXPECT_EQ(text, u"a \f");
    kxutil::kxDestroyDoubleSpaces(u"  a  b     c d", text);
    EXPECT_EQ(text, u" a b c d");
}

TEST(Unicode, Cp1251DecodingAgreesWithIconv) {
    iconv_t cd = iconv_open("UTF-16LE", "CP1251");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int byte = 0; byte < 256; ++byte) {
        if (byte == 0x98)
            continue; // unassigned
        char in = static_cast<char>(byte);
        char out[4];
        char *inPtr = &in;
        char *outPtr = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        ASSERT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1));
        const char16_t expected = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                        static_cast<unsigned char>(out[1]) << 8);
        EXPECT_EQ(unicode::Cp1251ToUtf16(std::string(1, in))[0], expected) << "byte " << byte;
    }
    iconv_close(cd);
}

TEST(Unicode, Utf8RoundTripAndMalformedInput) {
    const std::u16string text = u"Сгенерировано \u0800\uFFFF\U00010000\U0010FFFF 😀";
    EXPECT_EQ(unicode::Utf8ToUtf16(unicode::Utf16ToUtf8(text)), text);
    const std::pair<std::string, std::u16string> malformed[] = {
        {"a\xC0\xAFz", u"a\uFFFD\uFFFDz"},                 // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // surrogate U+D800
        {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},           // surrogate U+DFFF
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // U+110000
        {"\xE2\x82", u"\uFFFD\uFFFD"},                     // truncated
        {"\xC3(\xC3\xC3\xA9", u"\uFFFD(\uFFFD\u00E9"},     // no continuation byte
    };
    for (const auto &[bytes, decoded] : malformed)
        EXPECT_EQ(unicode::Utf8ToUtf16(bytes), decoded) << bytes;
    EXPECT_EQ(unicode::Utf16ToUtf8(u"\xD800|\xDC00|\xDFFF"), "?|?|?");
}

// Bytes that are no UTF-8 travel as U+DC80..U+DCFF; other surrogates are text.
TEST(Unicode, EscapedBytesAndControlCharacters) {
    EXPECT_EQ(unicode::Utf8ToUtf16Escaped("a\x80\xFF\xC3\xA9"), u"a\xDC80\xDCFF\u00E9");
    const std::pair<std::u16string, std::string> rows[] = {
        {u"\xDC80\xDCFF", "\x80\xFF"},
        {u"\xDC00\xDC7F", "??"},
        {u"\xD800\xDC80", "\xF0\x90\x82\x80"},
    };
    for (const auto &[text, bytes] : rows) {
        EXPECT_EQ(unicode::Utf16ToUtf8Escaped(text), bytes);
        EXPECT_EQ(unicode::HasEscapedBytes(text), bytes[0] == '\x80');
    }
    EXPECT_FALSE(unicode::IsAscii(std::string("\x80")));
    EXPECT_FALSE(unicode::IsAscii(u"\x80"));
    // Control characters of C0, DEL and C1 become question marks, noncharacters U+FFFD.
    std::u16string text = u"\x1F \x7E\x7F\x80\x9F\xA0\xFDCF\xFDD0\xFDEF\xFFFE\xFFFF"
                          u"\xD83F\xDFFE\xD83F\xDFFD\xDBFF\xDFFF";
    unicode::ReplaceControlCharacters(text);
    EXPECT_EQ(text, u"? \x7E???\xA0\xFDCF\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD\xD83F\xDFFD\xFFFD");
    // Also in the error line, whatever its detail holds.
    const std::u16string line = kxutil::kxRunTimeErrorLine("reading x", -5, "a\x1B\nb\xC2\x9B");
    EXPECT_EQ(line.substr(line.find(u':')),
              u": run-time error: reading x failed (status -5: a??b?)");
    EXPECT_EQ(kxutil::kxDescribeStatus(kxutil::kErrRange), std::strerror(ERANGE));
}

#include "kxutil.h"
#include "unicode.h"

#include <cmath>
#include <gtest/gtest.h>
#include <iconv.h>
#include <limits>

namespace {

std::string ByteSize(double bytes) {
    std::u16string text;
    EXPECT_GE(kxutil::kxFormatByteSizeEx(bytes, text), 0);
    return unicode::Utf16ToUtf8(text);
}

} // namespace

TEST(ByteSize, WholeBytesBelowOneKilobyte) {
    EXPECT_EQ(ByteSize(0), "0 bytes");
    EXPECT_EQ(ByteSize(1), "1 bytes");
    EXPECT_EQ(ByteSize(1023), "1023 bytes");
}

TEST(ByteSize, ThreeSignificantDigitsTruncated) {
    EXPECT_EQ(ByteSize(1024), "1.00 KB");
    EXPECT_EQ(ByteSize(4096), "4.00 KB");
    EXPECT_EQ(ByteSize(1535), "1.49 KB"); // 1.499..., not rounded up
    EXPECT_EQ(ByteSize(10239), "9.99 KB");
    EXPECT_EQ(ByteSize(10240), "10.0 KB");
    EXPECT_EQ(ByteSize(102400), "100 KB");
    EXPECT_EQ(ByteSize(999.99 * 1024), "999 KB");
    EXPECT_EQ(ByteSize(15.69 * 1073741824.0), "15.6 GB");
}

TEST(ByteSize, MovesToTheNextUnitToStayBelowAThousand) {
    EXPECT_EQ(ByteSize(1000 * 1024), "0.97 MB");
    EXPECT_EQ(ByteSize(1023 * 1024), "0.99 MB");
    EXPECT_EQ(ByteSize(1048576), "1.00 MB");
    EXPECT_EQ(ByteSize(131071.99 * 1073741824.0), "127 TB");
    EXPECT_EQ(ByteSize(std::ldexp(1.0, 60)), "1.00 EB");
    EXPECT_EQ(ByteSize(std::ldexp(1.0, 64) - 2048), "15.9 EB");
}

TEST(ByteSize, ValuesOutsideTheCountsStayReadable) {
    EXPECT_EQ(ByteSize(-4096), "-4.00 KB");
    EXPECT_EQ(ByteSize(0.75), "0 bytes");
    EXPECT_EQ(ByteSize(std::ldexp(1.0, 70)), "1024 EB");
    std::u16string text;
    EXPECT_LT(kxutil::kxFormatByteSizeEx(std::numeric_limits<double>::quiet_NaN(), text), 0);
    EXPECT_LT(kxutil::kxFormatByteSizeEx(std::numeric_limits<double>::infinity(), text), 0);
}

TEST(NumberTexts, HexBinaryDecimalAndVersion) {
    std::u16string text;
    kxutil::kxHexEx4(0x10000, text);
    EXPECT_EQ(text, u"0x00010000");
    kxutil::kxHexEx8(0x7FFFFFFEFFFFull, text);
    EXPECT_EQ(text, u"0x00007FFFFFFEFFFF");
    kxutil::kxBin4(0b1011, text);
    EXPECT_EQ(text, u"00000000000000000000000000001011");
    kxutil::kxBin8(std::uint64_t{1} << 63, text);
    EXPECT_EQ(text, u"1" + std::u16string(63, u'0'));
    kxutil::kxFormatLong(-2147483647 - 1, text);
    EXPECT_EQ(text, u"-2147483648");
    kxutil::kxFormatVersion(1, 4, 112, text);
    EXPECT_EQ(text, u"1.04.0112");
    double unsignedValue = 0;
    kxutil::kxLongToUnsignedLong(-1, unsignedValue);
    EXPECT_EQ(unsignedValue, 4294967295.0);
    std::uint8_t high = 0, low = 0;
    kxutil::kxHiByte(0xFF45, high);
    kxutil::kxLoByte(0xFF45, low);
    EXPECT_EQ(high, 0xFF);
    EXPECT_EQ(low, 0x45);
}

TEST(Trimming, RightTrimRemovesOnlyTrailingBlanks) {
    std::u16string text;
    kxutil::kxRTrimEx(u"  a b \t  ", text);
    EXPECT_EQ(text, u"  a b");
    kxutil::kxRTrimEx(u"Total virtual:       %07   ", text);
    EXPECT_EQ(text, u"Total virtual:       %07");
    kxutil::kxRTrimEx(u"line \r\nnext", text);
    EXPECT_EQ(text, u"line \r\nnext");
}

TEST(Trimming, DoubleSpacesBecomeOne) {
    std::u16string text;
    kxutil::kxDestroyDoubleSpaces(u"a  b     c d", text);
    EXPECT_EQ(text, u"a b c d");
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
    const std::u16string text = u"Сгенерировано 😀";
    EXPECT_EQ(unicode::Utf8ToUtf16(unicode::Utf16ToUtf8(text)), text);
    EXPECT_EQ(unicode::Utf8ToUtf16("a\xC0\xAFz"), u"a\uFFFD\uFFFDz");       // overlong
    EXPECT_EQ(unicode::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(unicode::Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");           // truncated
    EXPECT_EQ(unicode::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "?");
}

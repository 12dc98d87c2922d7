#include "modMain.h"
#include "unicode.h"

namespace modMain {
namespace {

std::u16string DecimalText(long value) { return unicode::AsciiToUtf16(std::to_string(value)); }

struct RevisionBytes {
    std::u16string high, low;
};

RevisionBytes SplitRevision(std::uint16_t revision) {
    std::uint8_t high = 0, low = 0;
    Check(kxutil::kxHiByte(revision, high), "describing the processor");
    Check(kxutil::kxLoByte(revision, low), "describing the processor");
    return {DecimalText(high), DecimalText(low)};
}

std::u16string_view ArchitectureName(std::uint16_t architecture) {
    switch (architecture) {
    case 0: return u"Intel";
    case 1: return u"MIPS";
    case 2: return u"Alpha";
    case 3: return u"PPC";
    case 4: return u"SHX";
    case 5: return u"ARM";
    case 6: return u"IA-64";
    case 7: return u"Alpha64";
    default: return u"Unknown";
    }
}

void DescribeIntel(std::u16string &text, std::int16_t level, std::uint16_t revision) {
    std::u16string levelName;
    if (level >= 2 && level <= 4)
        levelName = u"80" + DecimalText(level) + u"86";
    else if (level == 5)
        levelName = u"Pentium";
    else if (level == 6)
        levelName = u"Pentium Pro or Pentium II";
    else
        levelName = u"Unknown";
    ReplacePlaceholder(text, u"%21", levelName);
    const RevisionBytes bytes = SplitRevision(revision);
    if (level >= 2 && level <= 4)
        ReplacePlaceholder(text, u"%22", bytes.high + u"A" + bytes.low);
    else
        ReplacePlaceholder(text, u"%22", u"Model " + bytes.high + u", Stepping " + bytes.low);
}

} // namespace

void DescribeProcessor(std::u16string &text, std::uint16_t architecture, std::uint16_t level,
                       std::uint16_t revision) {
    const auto signedLevel = static_cast<std::int16_t>(level);
    ReplacePlaceholder(text, u"%20", ArchitectureName(architecture));
    switch (architecture) {
    case 0: DescribeIntel(text, signedLevel, revision); return;
    case 2:
    case 6:
    case 7: {
        ReplacePlaceholder(text, u"%21", DecimalText(signedLevel));
        const RevisionBytes bytes = SplitRevision(revision);
        ReplacePlaceholder(text, u"%22", u"Model " + bytes.high + u"A, Pass " + bytes.low);
        return;
    }
    case 1:
    case 3:
    case 4:
    case 5:
        ReplacePlaceholder(text, u"%21", DecimalText(signedLevel));
        ReplacePlaceholder(text, u"%22", u"-");
        return;
    default:
        ReplacePlaceholder(text, u"%21", u"-");
        ReplacePlaceholder(text, u"%22", u"-");
        return;
    }
}

} // namespace modMain

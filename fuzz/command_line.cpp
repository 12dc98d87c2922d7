// command_line: any bytes as the argument text, read as UTF-8 and as raw
// UTF-16 code units, through NormaliseArgumentText and InterpretCommand.
//
// Properties: normalising trims blanks, tabs, CR, LF and NUL off both ends,
// upper-cases ASCII letters and collapses runs of spaces, and doing it twice
// changes nothing; a text gives a report exactly when it is one of the 45
// report commands (with that command's kind and destination), the about box
// exactly for "/A" and "/ABOUT", and the usage for everything else. The
// decoding itself: UTF-8 that does not survive a round trip was malformed
// and shows U+FFFD; UTF-16 survives a round trip but for unpaired
// surrogates, which come back as '?'.
#include "fuzz_support.h"
#include "modMain.h"
#include "reference_commands.h"
#include "unicode.h"

#include <map>
#include <utility>

namespace {

using modMain::Action;
using modMain::OutputMode;
using modMain::ReportKind;

// The 45 report commands, from the shared reference table.
const std::map<std::u16string, std::pair<ReportKind, OutputMode>> &ReportCommands() {
    const auto &commands = reference::ReportCommands();
    FUZZ_REQUIRE(commands.size() == 45);
    return commands;
}

bool IsTrimmedAtEnds(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\0';
}

std::u16string ReferenceNormalise(std::u16string_view text) {
    while (!text.empty() && IsTrimmedAtEnds(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsTrimmedAtEnds(text.back()))
        text.remove_suffix(1);
    std::u16string out;
    for (char16_t c : text) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        if (c == u' ' && !out.empty() && out.back() == u' ')
            continue;
        out += c;
    }
    return out;
}

void CheckInterpretation(std::u16string_view text) {
    const modMain::Command command = modMain::InterpretCommand(text);
    FUZZ_REQUIRE(command.action == Action::kAbout || command.action == Action::kUsage ||
                 command.action == Action::kReport);
    const auto report = ReportCommands().find(std::u16string(text));
    if (report != ReportCommands().end()) {
        FUZZ_REQUIRE(command.action == Action::kReport);
        FUZZ_REQUIRE(command.kind == report->second.first);
        FUZZ_REQUIRE(command.mode == report->second.second);
    } else if (text == u"/A" || text == u"/ABOUT") {
        FUZZ_REQUIRE(command.action == Action::kAbout);
    } else {
        FUZZ_REQUIRE(command.action == Action::kUsage);
    }
}

void CheckArgumentText(std::u16string_view text) {
    const std::u16string normalised = modMain::NormaliseArgumentText(text);
    FUZZ_REQUIRE(normalised == ReferenceNormalise(text));
    FUZZ_REQUIRE(modMain::NormaliseArgumentText(normalised) == normalised);
    CheckInterpretation(normalised);
    // Un-normalised text is matched as it stands: exact texts only.
    CheckInterpretation(text);
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The text with each unpaired surrogate replaced by '?'.
std::u16string PairedOnly(std::u16string_view units) {
    std::u16string out(units);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1]))
            ++i;
        else if (IsHigh(out[i]) || IsLow(out[i]))
            out[i] = u'?';
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    const std::u16string decoded = unicode::Utf8ToUtf16(bytes);
    FUZZ_REQUIRE(decoded.size() <= bytes.size());
    FUZZ_REQUIRE(PairedOnly(decoded) == decoded);
    if (unicode::Utf16ToUtf8(decoded) != bytes)
        FUZZ_REQUIRE(decoded.find(u'\xFFFD') != std::u16string::npos);
    CheckArgumentText(decoded);

    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    FUZZ_REQUIRE(unicode::Utf8ToUtf16(unicode::Utf16ToUtf8(units)) == PairedOnly(units));
    CheckArgumentText(units);
    return 0;
}

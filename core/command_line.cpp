#include "FrontEnd.h"
#include "modMain.h"

namespace modMain {
namespace {

struct Part {
    std::u16string_view text;
    std::int32_t value;
};

constexpr Part kInformationParts[] = {
    {u"", kAll},
    {u"/I", kAll},
    {u"/I:A", kAll},
    {u"/I:V", kVersion},
    {u"/I:MS", kMemoryStat},
    {u"/I:MI", kMemoryInfo},
    {u"/I:PI", kProcessorInfo},
    {u"/I:LI", kLightInfo},
    {u"/I:LI2", kLightInfo2},
};

constexpr Part kOutputParts[] = {
    {u"", kScreen},          {u"/F", kAnsiFile}, {u"/F:A", kAnsiFile},
    {u"/F:U", kUnicodeFile}, {u"/E", kEventLog},
};

// Whether text is exactly the information part, then one space and the
// output part; a part that is empty stands without the space.
bool IsReportCommand(std::u16string_view text, std::u16string_view information,
                     std::u16string_view output) {
    if (information.empty() || output.empty())
        return text.size() == information.size() + output.size() &&
               text.substr(0, information.size()) == information &&
               text.substr(information.size()) == output;
    return text.size() == information.size() + 1 + output.size() &&
           text.substr(0, information.size()) == information && text[information.size()] == u' ' &&
           text.substr(information.size() + 1) == output;
}

} // namespace

std::u16string NormaliseArgumentText(std::u16string_view text) {
    std::u16string trimmed, collapsed;
    Check(kxutil::kxTrimEx2(text, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, trimmed),
          "reading the command line");
    // The accepted texts are ASCII: other letters are left as they are.
    for (char16_t &c : trimmed)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    Check(kxutil::kxDestroyDoubleSpaces(trimmed, collapsed), "reading the command line");
    return collapsed;
}

// Exactly 50 texts are accepted: 2 for the about box, 3 for the usage and 45
// report commands; anything else shows the usage.
Command InterpretCommand(std::u16string_view normalised) {
    if (normalised == u"/A" || normalised == u"/ABOUT")
        return {Action::kAbout, kAll, kScreen};
    if (normalised == u"/?" || normalised == u"/USAGE" || normalised == u"/HELP")
        return {Action::kUsage, kAll, kScreen};
    for (const Part &information : kInformationParts)
        for (const Part &output : kOutputParts)
            if (IsReportCommand(normalised, information.text, output.text))
                return {Action::kReport, static_cast<ReportKind>(information.value),
                        static_cast<OutputMode>(output.value)};
    return {Action::kUsage, kAll, kScreen};
}

void DispatchCommandLine() {
    std::u16string argumentText;
    Check(kxutil::kxGetArgumentText(argumentText), "reading the command line");
    const Command command = InterpretCommand(NormaliseArgumentText(argumentText));
    switch (command.action) {
    case Action::kAbout: FrontEnd::ShowAbout(); break;
    case Action::kUsage: FrontEnd::ShowUsage(TextBlocks().usageNew); break;
    case Action::kReport: BuildReport(command.kind, command.mode); break;
    }
}

} // namespace modMain

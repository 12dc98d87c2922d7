#include "modMainConsole.h"

#include "FrontEnd.h"
#include "kxutil.h"
#include "modMain.h"
#include "orbelle_version.h"

namespace modMainConsole {

std::u16string BuildAboutText() {
    const modMain::ProgramIdentity identity = modMain::ReadProgramIdentity();
    return identity.title + u" " + modMain::VersionText(identity) + u"\r\n" +
           identity.legalCopyright;
}

// The text and CR LF in the console's code page, in one write. A write that
// fails is a run-time error; a reader that has gone away is not.
void WriteConsoleText(std::u16string_view text) {
    std::string bytes;
    modMain::Check(kxutil::kxAnsiToOem(std::u16string(text) + u"\r\n", bytes),
                   "converting the text to the console's character set");
    modMain::Check(kxutil::kxWriteStdOut(bytes), "writing to standard output");
}

} // namespace modMainConsole

namespace FrontEnd {

const char16_t kProgramTitle[] = u"" ORBELLE_CONSOLE_TITLE;

void ShowAbout() { modMainConsole::WriteConsoleText(modMainConsole::BuildAboutText()); }

void ShowUsage(std::u16string usageText) {
    modMain::ReplacePlaceholder(usageText, u"%00", modMain::ReadProgramIdentity().baseName);
    modMainConsole::WriteConsoleText(modMainConsole::BuildAboutText() + u"\r\n\r\n" + usageText);
}

void ShowReport(std::u16string reportText) { modMainConsole::WriteConsoleText(reportText); }

void ShowRunTimeError(std::u16string_view line) { kxutil::kxWriteErrorLine(line); }

} // namespace FrontEnd

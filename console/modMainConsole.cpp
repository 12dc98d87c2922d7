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

// The text and CR LF in the console's code page, in one write. A failed or
// short write is not reported: there is nowhere left to report it.
void WriteConsoleText(std::u16string_view text) {
    std::string bytes;
    modMain::Check(kxutil::kxAnsiToOem(std::u16string(text) + u"\r\n", bytes), "kxAnsiToOem");
    kxutil::kxWriteStdOut(bytes);
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

void ShowRunTimeError(std::u16string_view line) {
    std::string bytes;
    if (kxutil::kxAnsiToOem(line, bytes) < 0)
        bytes = "run-time error";
    kxutil::kxWriteStdErr(bytes + "\n");
}

} // namespace FrontEnd

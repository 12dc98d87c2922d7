// The dialog front-end of Orbelle: the platform's About box and message
// boxes, each modal; the program ends when the box is closed.
#include "FrontEnd.h"
#include "kxutil.h"
#include "modMain.h"
#include "orbelle_version.h"

namespace modMainGUI {
namespace {

std::string AnsiBytes(std::u16string_view text) {
    std::string bytes;
    modMain::Check(kxutil::kxStrConvB(text, bytes),
                   "converting the text to the locale's character set");
    return bytes;
}

} // namespace

// The About box's application text is "caption#first line"; its further
// text holds the version and copyright lines, each led by a tab. Both pass
// through the ANSI code page, as the platform's box takes them.
void ShowAboutBox() {
    const modMain::ProgramIdentity identity = modMain::ReadProgramIdentity();
    const std::u16string version = modMain::VersionText(identity);
    kxutil::Picture picture{};
    modMain::Check(kxutil::kxLoadResIcon(u"A_MAIN_0000", picture), "showing the About box");
    if (picture.Handle == 0)
        throw modMain::RunTimeError{"reading the icon handle", kxutil::kErrInvalidArgument,
                                    "the picture has no handle"};
    const std::u16string further = u"\t"
                                   u"Версия: " +
                                   version + u"\r\n" + u"\t" + identity.legalCopyright;
    const std::u16string application = u"О программе#" + identity.title;
    const std::string applicationBytes = AnsiBytes(application);
    const std::string furtherBytes = AnsiBytes(further);
    modMain::Check(kxutil::kxShellAboutA(0, applicationBytes, furtherBytes, picture.Handle),
                   "showing the About box");
}

void ShowMessage(std::u16string_view text, std::u16string_view iconGroup) {
    std::int32_t answer = 0;
    modMain::Check(kxutil::kxMsgBox(text, iconGroup, answer), "showing a message box");
}

} // namespace modMainGUI

namespace FrontEnd {

const char16_t kProgramTitle[] = u"" ORBELLE_DIALOG_TITLE;

void ShowAbout() { modMainGUI::ShowAboutBox(); }

void ShowUsage(std::u16string usageText) {
    modMain::ReplacePlaceholder(usageText, u"%00", modMain::ReadProgramIdentity().baseName);
    modMainGUI::ShowMessage(usageText, u"A_MAIN_0002");
}

void ShowReport(std::u16string reportText) { modMainGUI::ShowMessage(reportText, u"A_MAIN_0001"); }

void ShowRunTimeError(std::u16string_view line) { kxutil::kxShowRunTimeError(line); }

} // namespace FrontEnd

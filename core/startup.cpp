#include "FrontEnd.h"
#include "modMain.h"
#include "orbelle_version.h"
#include "unicode.h"

namespace modMain {
namespace {

TextBlockStore g_textBlocks;

} // namespace

void Check(const kxutil::Status &status, const char *operation) {
    if (status.failed())
        throw RunTimeError{operation, status.value, kxutil::kxDescribeStatus(status)};
}

std::u16string RunTimeErrorLine(const RunTimeError &error) {
    return kxutil::kxRunTimeErrorLine(error.operation, error.status, error.detail);
}

ProgramIdentity ReadProgramIdentity() {
    ProgramIdentity identity{FrontEnd::kProgramTitle,
                             ORBELLE_VERSION_MAJOR,
                             ORBELLE_VERSION_MINOR,
                             ORBELLE_VERSION_REVISION,
                             {},
                             {}};
    Check(kxutil::kxGetModuleBaseName(identity.baseName), "finding the program's own name");
    Check(kxutil::kxGetLegalCopyright(identity.legalCopyright),
          "reading the program's version information");
    return identity;
}

std::u16string LoadTextBlock(std::u16string_view name) {
    std::u16string text, trimmed;
    Check(kxutil::kxLoadResTextA(name, u"TEXT_DATABLOCK", text), "loading the program's texts");
    Check(kxutil::kxRTrimEx(text, trimmed), "loading the program's texts");
    return trimmed;
}

void LoadTextBlocks() {
    g_textBlocks.infoAll = LoadTextBlock(u"TXT_INFO_ALL");
    g_textBlocks.infoVersion = LoadTextBlock(u"TXT_INFO_VERSION");
    g_textBlocks.lightInfo = LoadTextBlock(u"TXT_LIGHT_INFO");
    g_textBlocks.lightInfo2 = LoadTextBlock(u"TXT_LIGHT_INFO_2");
    g_textBlocks.memoryInfo = LoadTextBlock(u"TXT_MEMORY_INFO");
    g_textBlocks.memoryStat = LoadTextBlock(u"TXT_MEMORY_STAT");
    g_textBlocks.processorInfo = LoadTextBlock(u"TXT_PROCESSOR_INFO");
    g_textBlocks.usageNew = LoadTextBlock(u"TXT_USAGE_NEW");
}

const TextBlockStore &TextBlocks() { return g_textBlocks; }

void Main() {
    std::u16string appPath;
    Check(kxutil::kxRegisterAppPath(appPath), "finding the program's own file");
    Check(kxutil::kxInitCommonControls(), "initialising the common controls");
    std::int16_t inIde = 0;
    Check(kxutil::kxIsInIDE(inIde), "setting the window icons");
    if (!inIde) {
        kxutil::WindowHandle mainWindow = 0;
        Check(kxutil::kxGetThunderMainHandle(mainWindow), "setting the window icons");
        Check(kxutil::kxSetWindowResIconAll(mainWindow, u"A_MAIN"), "setting the window icons");
    }
    LoadTextBlocks();
    DispatchCommandLine();
}

} // namespace modMain

// kxutil for a system that has no layer of its own yet: standard C++ only,
// so it builds wherever a compiler does. Every system query fails with
// ENOSYS and names itself, so a port starts from a program that compiles,
// runs and says which operation to write next. Only what reporting that
// failure needs works: the process set-up, standard output and error.
//
// A port to a system that is not POSIX copies this file into a folder of
// its own, adds a branch for it in support/CMakeLists.txt, and replaces one
// stub after another. A POSIX system has most of this in support/posix/
// already, and starts from kxutil_posix_stub.cpp instead.
#include "kxutil.h"
#include "unicode.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kxutil {
namespace {

Status NotSupported(const char *operation) {
    return {-ENOSYS, std::string(operation) + " is not written for this system yet (stub layer)"};
}

constexpr char kOutOfMemoryLine[] =
    "Orbelle: run-time error: allocating memory failed (status -12: out of memory)\n";

[[noreturn]] void EndOutOfMemory() {
    kxReportOutOfMemory();
    std::_Exit(1);
}

Status WriteAll(std::FILE *stream, std::string_view bytes, const char *what) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() ||
        std::fflush(stream) != 0)
        return {kErrIo, std::string(what) + ": the write failed"};
    return kOk;
}

} // namespace

// --- Process set-up ---

void kxInitProcess(int, char **) { std::set_new_handler(EndOutOfMemory); }
Status kxRegisterAppPath(std::u16string &) { return NotSupported("kxRegisterAppPath"); }
Status kxIsInIDE(std::int16_t &inIde) {
    inIde = 0;
    return kOk;
}
Status kxInitCommonControls() { return kOk; }
Status kxGetArgumentText(std::u16string &) { return NotSupported("kxGetArgumentText"); }
Status kxGetModuleBaseName(std::u16string &) { return NotSupported("kxGetModuleBaseName"); }
Status kxGetLegalCopyright(std::u16string &) { return NotSupported("kxGetLegalCopyright"); }

std::string kxDescribeStatus(const Status &status) {
    return status.detail.empty() ? std::strerror(-status.value) : status.detail;
}

void kxWriteErrorLine(std::u16string_view line) {
    kxWriteStdErr(unicode::Utf16ToUtf8(line) + "\n");
}

void kxReportOutOfMemory() noexcept { std::fputs(kOutOfMemoryLine, stderr); }

// --- Resources ---

Status kxLoadResTextA(std::u16string_view, std::u16string_view, std::u16string &) {
    return NotSupported("kxLoadResTextA");
}

// --- System facts ---

Status kxGetNativeSystemInfo(SystemInfoRecord &) { return NotSupported("kxGetNativeSystemInfo"); }
Status kxGlobalMemoryStatus(MemoryStatusRecord &) { return NotSupported("kxGlobalMemoryStatus"); }
Status kxIsHostWin64(std::int16_t &) { return NotSupported("kxIsHostWin64"); }
Status kxGetHostOSFullName(std::int32_t, std::int32_t, std::u16string &) {
    return NotSupported("kxGetHostOSFullName");
}
Status kxFormatGeneralDateNow(std::u16string &) { return NotSupported("kxFormatGeneralDateNow"); }

// --- Code pages ---

Status kxStrConvB(std::u16string_view, std::string &) { return NotSupported("kxStrConvB"); }
Status kxAnsiToOem(std::u16string_view, std::string &) { return NotSupported("kxAnsiToOem"); }

// --- Dialogs ---

Status kxLoadResIcon(std::u16string_view, Picture &) { return NotSupported("kxLoadResIcon"); }
Status kxMsgBox(std::u16string_view, std::u16string_view, std::int32_t &) {
    return NotSupported("kxMsgBox");
}
Status kxShellAboutA(WindowHandle, std::string_view, std::string_view, IconHandle) {
    return NotSupported("kxShellAboutA");
}
void kxShowRunTimeError(std::u16string_view line) { kxWriteErrorLine(line); }

// --- Destinations ---

Status kxLogInfo(std::u16string_view, const std::vector<LogField> &, std::int32_t &) {
    return NotSupported("kxLogInfo");
}
Status kxWriteStdOut(std::string_view bytes) { return WriteAll(stdout, bytes, "standard output"); }
Status kxWriteStdErr(std::string_view bytes) { return WriteAll(stderr, bytes, "standard error"); }
Status kxReplaceFile(std::u16string_view, std::string_view) {
    return NotSupported("kxReplaceFile");
}

} // namespace kxutil

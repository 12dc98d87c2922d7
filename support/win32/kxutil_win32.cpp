// kxutil on Windows: the real Win32 calls behind every operation.
#include "kxutil.h"
#include "kxutil_win32_detail.h"
#include "orbelle_messages.h"
#include "orbelle_version.h"
#include "unicode.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace kxutil {
namespace {

std::string SystemMessage(DWORD error) {
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::u16string text = length > 0 ? win32_detail::FromWide(buffer, length) : u"";
    LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                             text.back() == u'.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : unicode::Utf16ToUtf8(text);
}

} // namespace

Status win32_detail::Fail(DWORD error, std::string_view what) {
    const std::int32_t value = -static_cast<std::int32_t>(error & 0x7FFFFFFF);
    return {value < 0 ? value : kErrIo, std::string(what) + ": " + SystemMessage(error)};
}

Status win32_detail::FailLast(std::string_view what) { return Fail(GetLastError(), what); }

namespace {

using win32_detail::Fail;
using win32_detail::FailLast;
using win32_detail::FromWide;
using win32_detail::Wide;

// Fills a buffer through a call that reports the length it needed.
Status RunningImagePath(std::u16string &path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return FailLast("GetModuleFileNameW");
        if (length < buffer.size()) {
            path = FromWide(buffer.data(), length);
            return kOk;
        }
        if (buffer.size() >= 32768)
            return Fail(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string BaseNameOf(std::u16string_view path) {
    std::u16string_view name = path.substr(path.find_last_of(u"\\/:") + 1);
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return std::u16string(name);
}

// --- Code pages ---

Status ToCodePage(UINT codePage, std::u16string_view text, std::string &bytes) {
    bytes.clear();
    if (text.empty())
        return kOk;
    const auto *wide = reinterpret_cast<const wchar_t *>(text.data());
    const int units = static_cast<int>(text.size());
    // No best-fit mapping: a character the code page lacks becomes '?', never
    // a look-alike such as a quotation mark or a slash.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int length = WideCharToMultiByte(codePage, flags, wide, units, nullptr, 0, nullptr, nullptr);
    if (length == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0; // UTF-8 and the other code pages that take no flags
        length = WideCharToMultiByte(codePage, flags, wide, units, nullptr, 0, nullptr, nullptr);
    }
    if (length == 0)
        return FailLast("WideCharToMultiByte");
    bytes.resize(static_cast<std::size_t>(length));
    if (WideCharToMultiByte(codePage, flags, wide, units, bytes.data(), length, nullptr, nullptr) !=
        length)
        return FailLast("WideCharToMultiByte");
    return kOk;
}

// --- Windows' own name for itself ---

constexpr wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

std::u16string RegistryText(HKEY key, const wchar_t *value) {
    wchar_t buffer[256];
    DWORD size = sizeof buffer;
    if (RegGetValueW(key, nullptr, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return {};
    return FromWide(buffer, wcsnlen(buffer, size / sizeof(wchar_t)));
}

bool RegistryNumber(HKEY key, const wchar_t *value, DWORD &number) {
    DWORD size = sizeof number;
    return RegGetValueW(key, nullptr, value, RRF_RT_REG_DWORD, nullptr, &number, &size) ==
           ERROR_SUCCESS;
}

std::u16string Decimal(unsigned long value) { return unicode::AsciiToUtf16(std::to_string(value)); }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The true version: GetVersionEx tells a program without a manifest naming
// the newest Windows an older one.
Status TrueVersion(RTL_OSVERSIONINFOEXW &version) {
    using RtlGetVersionFunction = LONG(WINAPI *)(RTL_OSVERSIONINFOEXW *);
    const auto rtlGetVersion =
        win32_detail::SystemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (rtlGetVersion == nullptr)
        return Fail(ERROR_PROC_NOT_FOUND, "RtlGetVersion");
    if (rtlGetVersion(&version) < 0)
        return Fail(ERROR_NOT_SUPPORTED, "RtlGetVersion");
    return kOk;
}

// Under Wine the name says so, with the host system's name.
std::u16string WineSuffix() {
    using WineVersionFunction = const char *(CDECL *)();
    using WineHostFunction = void(CDECL *)(const char **, const char **);
    const auto wineVersion =
        win32_detail::SystemFunction<WineVersionFunction>(L"ntdll.dll", "wine_get_version");
    if (wineVersion == nullptr)
        return {};
    std::string suffix = std::string(", Wine ") + wineVersion();
    const auto wineHost =
        win32_detail::SystemFunction<WineHostFunction>(L"ntdll.dll", "wine_get_host_version");
    const char *system = nullptr, *release = nullptr;
    if (wineHost != nullptr)
        wineHost(&system, &release);
    if (system != nullptr && release != nullptr)
        suffix += std::string(" on ") + system + " " + release;
    return unicode::Utf8ToUtf16(suffix);
}

} // namespace

// --- Process set-up ---

namespace {

// An allocation that fails ends the program at once with the one-line
// error: throwing would need memory too, and there may be none.
void EndOutOfMemory() {
    kxReportOutOfMemory();
    ExitProcess(1);
}

} // namespace

namespace {

// The report's temporary file while it exists, for the console control
// handler: the lock is held while the file is created, named and moved.
CRITICAL_SECTION g_temporaryLock;
std::u16string *g_temporary = nullptr;

// Ctrl-C, Ctrl-Break, closing the console, logging off or shutting down end
// the program (the default handler runs next): the temporary file goes
// first. The lock is not given back, so that the report's writer, stopped
// at it, never moves a file that is gone; the process ends all the same.
BOOL WINAPI RemoveTemporaryOnConsoleEvent(DWORD) {
    EnterCriticalSection(&g_temporaryLock);
    if (g_temporary != nullptr && !g_temporary->empty())
        DeleteFileW(Wide(*g_temporary));
    return FALSE;
}

} // namespace

void kxInitProcess(int, char **) {
    // A missing floppy or a failed file open is a status, not a system box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::set_new_handler(EndOutOfMemory);
    InitializeCriticalSection(&g_temporaryLock);
    g_temporary = new std::u16string;
    SetConsoleCtrlHandler(RemoveTemporaryOnConsoleEvent, TRUE);
}

Status kxRegisterAppPath(std::u16string &path) { return RunningImagePath(path); }

Status kxIsInIDE(std::int16_t &inIde) {
    inIde = 0;
    return kOk;
}

Status kxInitCommonControls() {
    InitCommonControls();
    return kOk;
}

// The command line's raw text after the program's own name, which ends as
// the C runtime ends argv[0]: a quoted name at its closing quote, any other
// at the first blank. Quotes in the rest are not interpreted.
Status kxGetArgumentText(std::u16string &text) {
    const wchar_t *line = GetCommandLineW();
    if (line == nullptr)
        return Fail(ERROR_INVALID_DATA, "GetCommandLineW");
    const wchar_t *rest = line;
    if (*rest == L'"') {
        ++rest;
        while (*rest != L'\0' && *rest != L'"')
            ++rest;
        if (*rest == L'"')
            ++rest;
    } else {
        while (*rest != L'\0' && *rest != L' ' && *rest != L'\t')
            ++rest;
    }
    text = FromWide(rest, wcslen(rest));
    return kOk;
}

Status kxGetModuleBaseName(std::u16string &baseName) {
    std::u16string path;
    if (Status status = RunningImagePath(path); status.failed())
        return status;
    baseName = BaseNameOf(path);
    return kOk;
}

// LegalCopyright of the running image's own version information, read from
// the image already in memory (not from its file) and once.
Status kxGetLegalCopyright(std::u16string &copyright) {
    static std::u16string known;
    if (known.empty()) {
        const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
        const HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(nullptr, found);
        const auto *data =
            static_cast<const unsigned char *>(loaded == nullptr ? nullptr : LockResource(loaded));
        if (data == nullptr)
            return FailLast("the version resource");
        // VerQueryValueW works on a copy it may write to, never on the image.
        std::vector<unsigned char> block(data, data + SizeofResource(nullptr, found));
        wchar_t *value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\LegalCopyright",
                            reinterpret_cast<void **>(&value), &length) ||
            value == nullptr || length == 0)
            return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, "VerQueryValueW LegalCopyright");
        known = FromWide(value, wcsnlen(value, length));
    }
    copyright = known;
    return kOk;
}

// A failure of the Windows layer always brings its detail; a status without
// one is a portable operation's, whose value is an errno.
std::string kxDescribeStatus(const Status &status) {
    return status.detail.empty() ? std::strerror(-status.value) : status.detail;
}

// --- Resources ---

Status kxLoadResTextA(std::u16string_view name, std::u16string_view type, std::u16string &text) {
    const std::u16string wantedName(name), wantedType(type);
    const std::string what =
        "resource " + unicode::Utf16ToUtf8(type) + "/" + unicode::Utf16ToUtf8(name);
    const HRSRC found = FindResourceW(nullptr, Wide(wantedName), Wide(wantedType));
    if (found == nullptr)
        return FailLast("FindResourceW " + what);
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const void *data = loaded == nullptr ? nullptr : LockResource(loaded);
    if (data == nullptr)
        return FailLast("LoadResource " + what);
    // The resources are written in Windows-1251, whatever the system's code page.
    text = unicode::Cp1251ToUtf16(
        std::string_view(static_cast<const char *>(data), SizeofResource(nullptr, found)));
    return kOk;
}

// --- System facts ---

Status kxGetNativeSystemInfo(SystemInfoRecord &info) {
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    info.wProcessorArchitecture = system.wProcessorArchitecture;
    info.wReserved = system.wReserved;
    info.dwPageSize = system.dwPageSize;
    info.lpMinimumApplicationAddress =
        reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress);
    info.lpMaximumApplicationAddress =
        reinterpret_cast<std::uintptr_t>(system.lpMaximumApplicationAddress);
    info.dwActiveProcessorMask = system.dwActiveProcessorMask;
    info.dwNumberOfProcessors = system.dwNumberOfProcessors;
    info.dwProcessorType = system.dwProcessorType;
    info.dwAllocationGranularity = system.dwAllocationGranularity;
    info.wProcessorLevel = system.wProcessorLevel;
    info.wProcessorRevision = system.wProcessorRevision;
    return kOk;
}

Status kxGlobalMemoryStatus(MemoryStatusRecord &status) {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory))
        return FailLast("GlobalMemoryStatusEx");
    status.dwMemoryLoad = memory.dwMemoryLoad;
    status.dwLength = memory.dwLength;
    status.ullTotalPhys = static_cast<double>(memory.ullTotalPhys);
    status.ullAvailPhys = static_cast<double>(memory.ullAvailPhys);
    status.ullTotalPageFile = static_cast<double>(memory.ullTotalPageFile);
    status.ullAvailPageFile = static_cast<double>(memory.ullAvailPageFile);
    status.ullTotalVirtual = static_cast<double>(memory.ullTotalVirtual);
    status.ullAvailVirtual = static_cast<double>(memory.ullAvailVirtual);
    status.ullAvailExtendedVirtual = static_cast<double>(memory.ullAvailExtendedVirtual);
    status.ullMachineTotalPhys = 0; // the total is the machine's own
    return kOk;
}

// True on a 64-bit Windows, for a 32-bit build too when it runs under WOW64.
Status kxIsHostWin64(std::int16_t &is64) {
#ifdef _WIN64
    is64 = -1;
    return kOk;
#else
    using IsWow64Process2Function = BOOL(WINAPI *)(HANDLE, USHORT *, USHORT *);
    const auto isWow64Process2 =
        win32_detail::SystemFunction<IsWow64Process2Function>(L"kernel32.dll", "IsWow64Process2");
    if (isWow64Process2 != nullptr) {
        USHORT process = 0, native = 0;
        if (!isWow64Process2(GetCurrentProcess(), &process, &native))
            return FailLast("IsWow64Process2");
        is64 = native == IMAGE_FILE_MACHINE_AMD64 || native == IMAGE_FILE_MACHINE_ARM64 ||
                       native == IMAGE_FILE_MACHINE_IA64
                   ? -1
                   : 0;
        return kOk;
    }
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64))
        return FailLast("IsWow64Process");
    is64 = wow64 ? -1 : 0;
    return kOk;
#endif
}

// "Microsoft Windows 11 Pro, version 23H2 (build 22631.2861)": the product
// and release from the registry, the build from the true version. Windows 11
// still calls itself Windows 10 in ProductName; its builds start at 22000.
// The two arguments are reserved.
Status kxGetHostOSFullName(std::int32_t, std::int32_t, std::u16string &name) {
    RTL_OSVERSIONINFOEXW version{};
    if (Status status = TrueVersion(version); status.failed())
        return status;
    HKEY key = nullptr;
    const bool haveKey = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0,
                                       KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS;
    std::u16string product, release, edition, registryBuild;
    DWORD updateRevision = 0;
    bool haveUpdateRevision = false;
    if (haveKey) {
        product = RegistryText(key, L"ProductName");
        edition = RegistryText(key, L"EditionID");
        release = RegistryText(key, L"DisplayVersion");
        if (release.empty())
            release = RegistryText(key, L"ReleaseId");
        registryBuild = RegistryText(key, L"CurrentBuild");
        haveUpdateRevision = RegistryNumber(key, L"UBR", updateRevision);
        RegCloseKey(key);
    }
    const std::u16string build =
        version.dwBuildNumber != 0 ? Decimal(version.dwBuildNumber) : registryBuild;

    if (product.empty()) {
        product = u"Windows NT " + Decimal(version.dwMajorVersion) + u"." +
                  Decimal(version.dwMinorVersion);
        if (!edition.empty())
            product += u" " + edition;
    }
    if (version.dwMajorVersion == 10 && version.dwBuildNumber >= 22000 &&
        StartsWith(product, u"Windows 10"))
        product.replace(0, 10, u"Windows 11");
    std::u16string full = StartsWith(product, u"Microsoft ") ? product : u"Microsoft " + product;
    if (!release.empty())
        full += u", version " + release;
    if (version.szCSDVersion[0] != L'\0')
        full += u", " + FromWide(version.szCSDVersion, wcslen(version.szCSDVersion));
    full += u" (build " + build;
    if (haveUpdateRevision)
        full += u"." + Decimal(updateRevision);
    full += u")" + WineSuffix();
    unicode::ReplaceControlCharacters(full);
    name = full;
    return kOk;
}

Status kxFormatGeneralDateNow(std::u16string &text) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t date[128], time[128];
    const int dateLength = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr,
                                           date, 128, nullptr);
    if (dateLength == 0)
        return FailLast("GetDateFormatEx");
    text = FromWide(date, static_cast<std::size_t>(dateLength - 1));
    if (now.wHour == 0 && now.wMinute == 0 && now.wSecond == 0)
        return kOk;
    const int timeLength = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &now, nullptr, time, 128);
    if (timeLength == 0)
        return FailLast("GetTimeFormatEx");
    text += u" " + FromWide(time, static_cast<std::size_t>(timeLength - 1));
    return kOk;
}

// --- Code pages ---

Status kxStrConvB(std::u16string_view text, std::string &bytes) {
    return ToCodePage(CP_ACP, text, bytes);
}

Status kxAnsiToOem(std::u16string_view text, std::string &oemBytes) {
    return ToCodePage(CP_OEMCP, text, oemBytes);
}

// --- Destinations ---

// One information entry in the application event log, from a source named
// after the running executable: event 1, whose insertion strings are the
// text, then each field's value in the fields' order, an unreported one
// empty, so that every fact has the same position in every event. The
// message of this identifier in the executable's table is "%1" alone: a
// registered source shows exactly the text, and the facts are the event's
// data (Get-WinEvent's Properties, the <Data> elements of its XML).
Status kxLogInfo(std::u16string_view text, const std::vector<LogField> &fields,
                 std::int32_t &unused) {
    unused = 0;
    // ReportEventW's limits: a WORD of strings, each of at most 31,839 characters.
    constexpr std::size_t kMostCharacters = 31839;
    if (fields.size() + 1 > 0xFFFF)
        return Fail(ERROR_INVALID_PARAMETER, "ReportEventW: more than 65,535 insertion strings");
    std::vector<std::u16string> values = {std::u16string(text)};
    for (const LogField &field : fields)
        values.push_back(field.reported ? field.value : std::u16string());
    std::vector<const wchar_t *> strings;
    for (const std::u16string &value : values) {
        if (value.size() > kMostCharacters)
            return Fail(ERROR_INVALID_PARAMETER,
                        "ReportEventW: an insertion string of more than 31,839 characters");
        strings.push_back(Wide(value));
    }
    std::u16string source;
    if (Status status = kxGetModuleBaseName(source); status.failed())
        return status;
    const HANDLE log = RegisterEventSourceW(nullptr, Wide(source));
    if (log == nullptr)
        return FailLast("RegisterEventSourceW");
    const BOOL reported =
        ReportEventW(log, EVENTLOG_INFORMATION_TYPE, 0, MSG_REPORT_ENTRY, nullptr,
                     static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
    const DWORD error = GetLastError();
    DeregisterEventSource(log);
    if (!reported)
        return Fail(error, "ReportEventW");
    return kOk;
}

namespace {

// Without a standard handle (a program started with none) nothing is
// written; a pipe whose reader has gone wants no more, which is no failure.
Status WriteStandard(DWORD which, std::string_view bytes, const char *what) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return kOk;
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
                error == ERROR_INVALID_HANDLE)
                return kOk;
            return Fail(error, what);
        }
        if (written == 0)
            return Fail(ERROR_WRITE_FAULT, what);
        bytes.remove_prefix(written);
    }
    return kOk;
}

DWORD WriteWholeFile(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return GetLastError();
        bytes.remove_prefix(written);
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

} // namespace

Status kxWriteStdOut(std::string_view bytes) {
    return WriteStandard(STD_OUTPUT_HANDLE, bytes, "standard output");
}

Status kxWriteStdErr(std::string_view bytes) {
    return WriteStandard(STD_ERROR_HANDLE, bytes, "standard error");
}

void kxWriteErrorLine(std::u16string_view line) {
    std::string bytes;
    if (kxAnsiToOem(line, bytes).failed())
        bytes = unicode::Utf16ToUtf8(line);
    kxWriteStdErr(bytes + "\r\n");
}

// The image's name is taken into a fixed buffer and converted there: no
// step may need the heap.
void kxReportOutOfMemory() noexcept {
    static wchar_t path[MAX_PATH];
    static char line[4 * MAX_PATH + 128];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t *name = path;
    for (DWORD i = 0; i < length && i < MAX_PATH; ++i)
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':')
            name = path + i + 1;
    if (wchar_t *dot = wcsrchr(const_cast<wchar_t *>(name), L'.'); dot != nullptr && dot != name)
        *dot = L'\0';
    int used = *name == L'\0' ? 0
                              : WideCharToMultiByte(CP_OEMCP, 0, name, -1, line, 4 * MAX_PATH,
                                                    nullptr, nullptr);
    used = used > 0 ? used - 1 : 0;
    const char rest[] =
        ": run-time error: allocating memory failed (status -12: out of memory)\r\n";
    std::memcpy(line + used, rest, sizeof rest - 1);
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr)
        WriteFile(handle, line, static_cast<DWORD>(used + sizeof rest - 1), &written, nullptr);
}

namespace {

// A fresh name for a temporary file: random, so that a file left by a run
// that was killed never stands in the way of a later one.
std::u16string TemporaryName() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    static unsigned long long sequence = 0;
    const unsigned long long random =
        (static_cast<unsigned long long>(counter.QuadPart) * 0x9E3779B97F4A7C15ull) ^
        (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ ++sequence ^
        GetTickCount64();
    char name[40];
    std::snprintf(name, sizeof name, ".orbelle-%016llx.tmp", random);
    return unicode::AsciiToUtf16(name);
}

// Whether two open files are one file: same volume, same file index.
bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// Why the file at the report's name must not be replaced, or 0.
DWORD RefusalToReplace(const std::u16string &target, std::string &why) {
    const DWORD attributes = GetFileAttributesW(Wide(target));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_SUCCESS;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        why = "the file is read-only";
        return ERROR_ACCESS_DENIED;
    }
    std::u16string image;
    if (RunningImagePath(image).failed())
        return ERROR_SUCCESS;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE existing = CreateFileW(Wide(target), 0, share, nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE running = CreateFileW(Wide(image), 0, share, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool same = existing != INVALID_HANDLE_VALUE && running != INVALID_HANDLE_VALUE &&
                      SameFile(existing, running);
    if (existing != INVALID_HANDLE_VALUE)
        CloseHandle(existing);
    if (running != INVALID_HANDLE_VALUE)
        CloseHandle(running);
    if (same) {
        why = "it is this program's own file";
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

// Another writer replacing the same report, or a reader that opened it
// without FILE_SHARE_DELETE, holds it for a moment: the move is tried again
// for about a second before that counts as a failure.
DWORD MoveOver(const std::u16string &temporary, const std::u16string &target) {
    DWORD error = ERROR_SUCCESS;
    for (DWORD wait = 1, waited = 0; waited < 1000;
         waited += wait, wait = std::min<DWORD>(wait * 2, 100)) {
        if (MoveFileExW(Wide(temporary), Wide(target),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
            error != ERROR_LOCK_VIOLATION)
            return error;
        Sleep(wait);
    }
    return error;
}

// The name as the user knows it: the full path of the report.
std::string FullPathOf(const std::u16string &name) {
    wchar_t buffer[32768];
    const DWORD length = GetFullPathNameW(Wide(name), 32768, buffer, nullptr);
    if (length == 0 || length >= 32768)
        return unicode::Utf16ToUtf8(name);
    return unicode::Utf16ToUtf8(FromWide(buffer, length));
}

} // namespace

// Writes a temporary file beside the report and moves it over the report's
// name: readers see the old report or the new one, never a part of either.
Status kxReplaceFile(std::u16string_view name, std::string_view bytes) {
    const std::u16string target(name);
    const std::string what = FullPathOf(target);
    std::string why;
    if (const DWORD refusal = RefusalToReplace(target, why); refusal != ERROR_SUCCESS)
        return Fail(refusal, what + ": " + why);
    std::u16string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    // The file may be deleted while it is open (FILE_SHARE_DELETE): the
    // console control handler does so, and it goes when the process ends.
    EnterCriticalSection(&g_temporaryLock);
    for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 16; ++attempt) {
        temporary = TemporaryName();
        file = CreateFileW(Wide(temporary), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    const DWORD created = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file != INVALID_HANDLE_VALUE)
        *g_temporary = temporary;
    LeaveCriticalSection(&g_temporaryLock);
    if (file == INVALID_HANDLE_VALUE)
        return Fail(created, what);
    DWORD error = WriteWholeFile(file, bytes);
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
        error = GetLastError();
    EnterCriticalSection(&g_temporaryLock);
    if (error == ERROR_SUCCESS)
        error = MoveOver(temporary, target);
    if (error != ERROR_SUCCESS)
        DeleteFileW(Wide(temporary));
    g_temporary->clear();
    LeaveCriticalSection(&g_temporaryLock);
    if (error != ERROR_SUCCESS)
        return Fail(error, what);
    return kOk;
}

} // namespace kxutil

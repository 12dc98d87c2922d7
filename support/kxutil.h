// kxutil: the one interface through which the core and the front-ends reach
// the operating system and the shared text utilities.
//
// Every operation returns a Status: zero or more on success, negative on
// failure. Results come back through the last parameter. Strings are UTF-16
// inside the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kxutil {

// What an operation returns: its 32-bit status value and, with a failure,
// the detail that explains it (the file, the system's words), so that the
// detail always belongs to the failure it came with.
// The value of a system failure is a negated errno on POSIX systems and a
// negated Win32 error code on Windows: -5 is EIO on the one and
// ERROR_ACCESS_DENIED on the other. The portable operations' own failures
// (kErrIo, kErrInvalidArgument, kErrRange, kErrDomain) are errno values on every
// platform.
struct Status {
    std::int32_t value = 0;
    std::string detail;

    Status(std::int32_t statusValue = 0) : value(statusValue) {}
    Status(std::int32_t statusValue, std::string failureDetail)
        : value(statusValue), detail(std::move(failureDetail)) {}
    // No conversion to an integer: a caller that wants the number reads
    // value, so that the detail is never dropped unnoticed.
    bool ok() const { return value >= 0; }
    bool failed() const { return value < 0; }
};

using WindowHandle = std::uintptr_t;
using IconHandle = std::uintptr_t;

// A loaded icon group; Handle is what the platform's About box takes.
struct Picture {
    IconHandle Handle;
};

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kErrIo = -5;               // EIO
constexpr std::int32_t kErrInvalidArgument = -22; // EINVAL
constexpr std::int32_t kErrRange = -34;           // ERANGE
constexpr std::int32_t kErrDomain = -33;          // EDOM: a floating-point result that is no number

// Laid out like Windows' SYSTEM_INFO: 36 bytes in a 32-bit build, 48 in a
// 64-bit one, where the address and mask fields have the native pointer
// width. Windows copies GetNativeSystemInfo's record into it; Linux fills it
// from its own sources (/proc, /sys, sysconf, cpuid).
struct SystemInfoRecord {
    std::uint16_t wProcessorArchitecture;
    std::uint16_t wReserved;
    std::uint32_t dwPageSize;
    std::uintptr_t lpMinimumApplicationAddress;
    std::uintptr_t lpMaximumApplicationAddress;
    std::uintptr_t dwActiveProcessorMask;
    std::uint32_t dwNumberOfProcessors;
    std::uint32_t dwProcessorType;
    std::uint32_t dwAllocationGranularity;
    std::uint16_t wProcessorLevel;
    std::uint16_t wProcessorRevision;
};
static_assert(sizeof(SystemInfoRecord) == (sizeof(void *) == 8 ? 48 : 36));

// The platform's MEMORYSTATUSEX, with every byte count held as a double, and
// ullMachineTotalPhys: the machine's own physical memory when ullTotalPhys is
// a memory cgroup's limit below it, 0 when ullTotalPhys is the machine's own.
struct MemoryStatusRecord {
    std::uint32_t dwMemoryLoad;
    std::uint32_t dwLength;
    double ullTotalPhys;
    double ullAvailPhys;
    double ullTotalPageFile;
    double ullAvailPageFile;
    double ullTotalVirtual;
    double ullAvailVirtual;
    double ullAvailExtendedVirtual;
    double ullMachineTotalPhys;
};
static_assert(sizeof(MemoryStatusRecord) == 72);

// Windows processor architecture codes.
constexpr std::uint16_t kArchIntel = 0;
constexpr std::uint16_t kArchMips = 1;
constexpr std::uint16_t kArchAlpha = 2;
constexpr std::uint16_t kArchPpc = 3;
constexpr std::uint16_t kArchArm = 5;
constexpr std::uint16_t kArchIa64 = 6;
constexpr std::uint16_t kArchAmd64 = 9;
constexpr std::uint16_t kArchArm64 = 12;
constexpr std::uint16_t kArchUnknown = 0xFFFF;

// --- Process set-up (platform) ---
// Called once by the entry point before anything else: locale, signals,
// standard handles, the argument vector where the platform passes one, and
// the end on an allocation failure (the one-line error, exit status 1).
void kxInitProcess(int argc, char **argv);
Status kxRegisterAppPath(std::u16string &path);
Status kxIsInIDE(std::int16_t &inIde);
Status kxInitCommonControls();
Status kxGetThunderMainHandle(WindowHandle &handle);
Status kxSetWindowResIconAll(WindowHandle handle, std::u16string_view iconPrefix);
Status kxGetArgumentText(std::u16string &text);
Status kxGetModuleBaseName(std::u16string &baseName);
Status kxGetLegalCopyright(std::u16string &copyright);
// "operation failed (status N: reason)" material: the failure's own detail,
// or else the system's words for its value.
std::string kxDescribeStatus(const Status &status);
// The one line that ends the program after a run-time error:
// "<base name>: run-time error: <what> failed (status N: <detail>)", with
// control characters shown as '?'.
std::u16string kxRunTimeErrorLine(std::string_view what, std::int32_t status,
                                  std::string_view detail);
// Writes a line to standard error in the console's encoding, ended as the
// platform ends its lines.
void kxWriteErrorLine(std::u16string_view line);
// The run-time error line of an allocation failure, made and written
// without the heap.
void kxReportOutOfMemory() noexcept;

// --- Resources (platform) ---
Status kxLoadResTextA(std::u16string_view name, std::u16string_view type, std::u16string &text);

// --- Text (portable) ---
Status kxRTrimEx(std::u16string_view text, std::u16string &trimmed);
// Flags, in order: trim spaces, tabs, CR, LF, NUL, vertical tabs and form
// feeds, no-break spaces, other Unicode spaces; keep leading, keep trailing.
Status kxTrimEx2(std::u16string_view text, std::int16_t spaces, std::int16_t tabs, std::int16_t cr,
                 std::int16_t lf, std::int16_t nul, std::int16_t vtff, std::int16_t nbsp,
                 std::int16_t unicodeSpaces, std::int16_t keepLeading, std::int16_t keepTrailing,
                 std::u16string &trimmed);
Status kxDestroyDoubleSpaces(std::u16string_view text, std::u16string &collapsed);

// --- Number formatting (portable) ---
Status kxFormatLong(std::int32_t value, std::u16string &text);
Status kxFormatByteSizeEx(double bytes, std::u16string &text);
Status kxLongToUnsignedLong(std::int32_t value, double &unsignedValue);
Status kxHexEx4(std::uint32_t value, std::u16string &text);
Status kxHexEx8(std::uint64_t value, std::u16string &text);
Status kxBin4(std::uint32_t value, std::u16string &text);
Status kxBin8(std::uint64_t value, std::u16string &text);
Status kxHiByte(std::uint16_t value, std::uint8_t &high);
Status kxLoByte(std::uint16_t value, std::uint8_t &low);
Status kxFormatVersion(std::int16_t major, std::int16_t minor, std::int16_t revision,
                       std::u16string &text);

// --- System facts (platform) ---
Status kxGetNativeSystemInfo(SystemInfoRecord &info);
Status kxGlobalMemoryStatus(MemoryStatusRecord &status);
Status kxIsHostWin64(std::int16_t &is64);
Status kxGetHostOSFullName(std::int32_t reserved, std::int32_t flags, std::u16string &name);
// The short date, a space and the long time of the user's locale; the date
// alone at exactly 00:00:00.
Status kxFormatGeneralDateNow(std::u16string &text);

// --- Code pages (platform) ---
Status kxStrConvB(std::u16string_view text, std::string &bytes);
// The text's bytes in the OEM code page, the console's; on Linux the
// locale's encoding stands for both code pages.
Status kxAnsiToOem(std::u16string_view text, std::string &oemBytes);

// --- Dialogs (platform; the windowed program only) ---
Status kxLoadResIcon(std::u16string_view groupName, Picture &picture);
// A modal message box with the program's title as caption and the icon
// group's icon; returns when it is closed.
Status kxMsgBox(std::u16string_view text, std::u16string_view iconGroup, std::int32_t &result);
// The platform's About box, given ShellAboutA's texts in the ANSI code page:
// "caption#first line" and the further lines.
Status kxShellAboutA(WindowHandle owner, std::string_view appText, std::string_view otherText,
                     IconHandle icon);
// How the windowed program reports the run-time error that ends it.
void kxShowRunTimeError(std::u16string_view line);

// --- Destinations (platform) ---
// A fact of an event-log entry besides its text: a journal field name
// (upper-case letters, digits and '_', not beginning with '_'), its exact
// value, which may hold any character, and whether this report gives it
// (the value of a fact it does not give is empty).
struct LogField {
    std::string_view name;
    std::u16string value;
    bool reported = true;
};
// One information entry in the system's event log. On Linux it is a journal
// entry: the text as MESSAGE, Orbelle's MESSAGE_ID and the reported fields.
// On Windows the text is the event's first insertion string and each field's
// value, in order, the next one, reported or not: a fact keeps its position.
Status kxLogInfo(std::u16string_view text, const std::vector<LogField> &fields,
                 std::int32_t &unused);
// Writes the bytes to standard output; without a standard output it writes
// nothing and succeeds.
Status kxWriteStdOut(std::string_view bytes);
Status kxWriteStdErr(std::string_view bytes);
// Replaces the named file in the current directory with exactly these bytes:
// all of them, or the old file stays as it was.
Status kxReplaceFile(std::u16string_view name, std::string_view bytes);

} // namespace kxutil

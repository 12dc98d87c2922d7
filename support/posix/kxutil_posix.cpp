// kxutil on every POSIX system: errors, reading system files, the locale's
// character set, the date and time, file names as bytes, writing all of a
// buffer, the atomic replacement of the report file, and the process's
// set-up, the program's own file and name over the system's running image
// path, and the kernel's and the system's names. What only one system has
// lives in its own file (kxutil_linux.cpp).
#include "embedded_resources.h"
#include "kxutil.h"
#include "kxutil_posix_detail.h"
#include "orbelle_version.h"
#include "posix_sources.h"
#include "unicode.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <new>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace kxutil {

namespace posix_detail {
const char *LocaleCodeset();
} // namespace posix_detail

// The system's words for an error number, in the user's language. The
// messages' locale is set only on the way to an error, as a run that
// succeeds never needs it. The C library writes them in the locale's
// character set: they are taken into the program's UTF-8 from there.
std::string posix_detail::SystemErrorText(int error) {
    const int saved = errno;
    static bool messagesLocaleSet = false;
    if (!messagesLocaleSet) {
        LocaleCodeset(); // the messages come in LC_CTYPE's character set
        std::setlocale(LC_MESSAGES, "");
        messagesLocaleSet = true;
    }
    const std::string bytes = std::strerror(error);
    std::string text;
    std::u16string decoded;
    if (LocaleBytesToUtf16(bytes, decoded).ok())
        text = unicode::Utf16ToUtf8(decoded);
    else
        text = bytes;
    errno = saved;
    return text;
}

Status posix_detail::Fail(int error, std::string detail) {
    return {error > 0 ? -error : kErrIo, std::move(detail)};
}

namespace {

int g_argc = 0;
char **g_argv = nullptr;

// The report's temporary file's name while it has one, for the signal
// handler and the end on an allocation failure.
char g_temporaryName[64];
volatile std::sig_atomic_t g_temporaryNamed = 0;

// An allocation that fails ends the program at once with the one-line
// error: throwing would need memory too, and there may be none.
void EndOutOfMemory() {
    if (g_temporaryNamed)
        unlink(g_temporaryName);
    kxReportOutOfMemory();
    _exit(1);
}

} // namespace

namespace posix_detail {

// The files read here are small; anything past this is not one of them
// (a runaway file bound over it) and is refused, not read.
constexpr std::size_t kMaxFileSize = 1 << 20;

// Opens a system file for reading without ever blocking: a FIFO or a device
// bound over /proc/meminfo must not hang the program, so only regular files
// (the kernel's /proc and /sys files are such) are accepted.
Status OpenSystemFile(const char *path, int &fd) {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return Fail(errno, std::string(path) + ": " + SystemErrorText(errno));
    struct stat file {};
    const bool examined = fstat(fd, &file) == 0;
    if (examined && S_ISREG(file.st_mode))
        return kOk;
    const int error = errno;
    close(fd);
    fd = -1;
    if (!examined)
        return Fail(error, std::string(path) + ": " + SystemErrorText(error));
    return Fail(EINVAL, std::string(path) + ": not a regular file");
}

// Reads the file's next bytes into buffer; 0 at its end.
ssize_t ReadSome(int fd, char *buffer, std::size_t size) {
    ssize_t count;
    do
        count = read(fd, buffer, size);
    while (count < 0 && errno == EINTR);
    return count;
}

Status ReadSmallFile(const char *path, std::string &content) {
    content.clear();
    int fd = -1;
    if (Status status = OpenSystemFile(path, fd); status.failed())
        return status;
    char buffer[4096];
    ssize_t count;
    while ((count = ReadSome(fd, buffer, sizeof buffer)) > 0) {
        if (content.size() + static_cast<std::size_t>(count) > kMaxFileSize) {
            close(fd);
            return Fail(EFBIG, std::string(path) + ": larger than any such file should be");
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    const int error = count < 0 ? errno : 0;
    close(fd);
    if (error != 0)
        return Fail(error, std::string(path) + ": " + SystemErrorText(error));
    return kOk;
}

// Calls lineFound with each line of a file of any length, holding one line
// at a time, until it returns true.
Status ForEachLine(const char *path, const std::function<bool(std::string_view)> &lineFound) {
    int fd = -1;
    if (Status status = OpenSystemFile(path, fd); status.failed())
        return status;
    std::string pending;
    char buffer[16384];
    ssize_t count = 0;
    bool done = false;
    while (!done && (count = ReadSome(fd, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<std::size_t>(count));
        std::size_t start = 0;
        for (std::size_t end; !done && (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1)
            done = lineFound(std::string_view(pending).substr(start, end - start));
        pending.erase(0, start);
    }
    const int error = count < 0 ? errno : 0;
    close(fd);
    if (error != 0)
        return Fail(error, std::string(path) + ": " + SystemErrorText(error));
    if (!done && !pending.empty())
        lineFound(std::string_view(pending));
    return kOk;
}

// --- The locale's encoding, which stands for both the ANSI and the OEM code page ---

// The name of the locale a category takes from the environment, as
// setlocale(category, "") finds it.
std::string_view EnvironmentLocale(const char *categoryVariable) {
    for (const char *variable : {"LC_ALL", categoryVariable, "LANG"})
        if (const char *value = std::getenv(variable); value != nullptr && *value != '\0')
            return value;
    return {};
}

bool IsCLocale(std::string_view name) { return name.empty() || name == "C" || name == "POSIX"; }

// C.UTF-8 is the C locale with UTF-8 for its character set: its dates and
// times are C's. Loading it costs a search of the locale aliases, which
// the program spares itself.
bool IsCUtf8Locale(std::string_view name) { return name == "C.UTF-8" || name == "C.utf8"; }

// The locale's character set is read only when a text outside ASCII must
// cross into or out of it: ASCII is the same in all of them, and most runs
// never pay for loading the locale.
// The name is kept as a copy: a later setlocale() (Qt's, in the windowed
// program) may replace the text nl_langinfo() pointed to.
const char *LocaleCodeset() {
    static std::string codeset;
    if (codeset.empty()) {
        const std::string_view name = EnvironmentLocale("LC_CTYPE");
        if (IsCUtf8Locale(name)) {
            codeset = "UTF-8";
        } else {
            if (!IsCLocale(name))
                std::setlocale(LC_CTYPE, "");
            codeset = nl_langinfo(CODESET);
        }
    }
    return codeset.c_str();
}

bool LocaleIsUtf8() { return std::strcmp(LocaleCodeset(), "UTF-8") == 0; }

std::size_t Utf8SequenceLength(unsigned char lead) {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Converts with iconv; an input sequence the target lacks becomes
// `replacement`, and the conversion goes on after it.
Status Iconv(const char *to, const char *from, std::string_view input, const char *replacement,
             bool inputIsUtf8, std::string &output) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return Fail(errno, std::string("no conversion from ") + from + " to " + to);
    output.clear();
    char *in = const_cast<char *>(input.data());
    std::size_t inLeft = input.size();
    std::vector<char> buffer(input.size() * 4 + 16);
    Status status = kOk;
    while (inLeft > 0) {
        char *out = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(buffer.data(), static_cast<std::size_t>(out - buffer.data()));
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (errno != EILSEQ && errno != EINVAL) {
            status = Fail(errno, "character conversion failed");
            break;
        }
        output += replacement;
        const std::size_t skip =
            inputIsUtf8 ? Utf8SequenceLength(static_cast<unsigned char>(*in)) : 1;
        in += std::min(skip, inLeft);
        inLeft -= std::min(skip, inLeft);
    }
    iconv_close(cd);
    return status;
}

Status LocaleBytesToUtf16(std::string_view bytes, std::u16string &text) {
    if (unicode::IsAscii(bytes) || LocaleIsUtf8()) {
        text = unicode::Utf8ToUtf16(bytes);
        return kOk;
    }
    std::string utf8;
    const Status status = Iconv("UTF-8", LocaleCodeset(), bytes, "\xEF\xBF\xBD", false, utf8);
    if (status.failed())
        return status;
    text = unicode::Utf8ToUtf16(utf8);
    return kOk;
}

// The file name without directory and last extension.
std::string_view BaseNameOf(std::string_view path) {
    std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return name;
}

// The base name for the out-of-memory line, which must be written without
// the heap: argv[0]'s at start-up, the image's once that is known, with
// control characters shown as '?'.
char g_errorName[256] = "Orbelle";

void KeepErrorName(std::string_view path) {
    const std::string_view name = BaseNameOf(path);
    if (name.empty())
        return;
    const std::size_t length = std::min(name.size(), sizeof g_errorName - 1);
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        g_errorName[i] = c < 0x20 || c == 0x7F ? '?' : name[i];
    }
    g_errorName[length] = '\0';
}

// A file name is bytes: it is decoded without loss, as the locale's text
// where that gives the same bytes back, and byte for byte where it does not
// (a name that is no text in the locale's character set).
std::u16string FileNameToUtf16(std::string_view bytes) {
    if (unicode::IsAscii(bytes) || LocaleIsUtf8())
        return unicode::Utf8ToUtf16Escaped(bytes);
    std::u16string text;
    std::string back;
    if (LocaleBytesToUtf16(bytes, text).ok() && kxStrConvB(text, back).ok() && back == bytes)
        return text;
    std::u16string escaped;
    for (const char c : bytes)
        escaped += static_cast<unsigned char>(c) < 0x80
                       ? static_cast<char16_t>(c)
                       : static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(c));
    return escaped;
}

Status FileNameBytes(std::u16string_view name, std::string &bytes) {
    if (unicode::HasEscapedBytes(name) || LocaleIsUtf8()) {
        bytes = unicode::Utf16ToUtf8Escaped(name);
        return kOk;
    }
    return kxStrConvB(name, bytes);
}

int ArgumentCount() { return g_argc; }
char **Arguments() { return g_argv; }

} // namespace posix_detail

using namespace posix_detail;

// --- Process set-up ---

namespace {

void IgnoreSignal(int signal) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(signal, &ignore, nullptr);
}

} // namespace

void kxInitProcess(int argc, char **argv) {
    g_argc = argc;
    g_argv = argv;
    if (argc > 0 && argv[0] != nullptr)
        KeepErrorName(argv[0]);
    std::set_new_handler(EndOutOfMemory);
    // A reader that went away must not kill the program: the write gives
    // EPIPE, and the program ends quietly.
    IgnoreSignal(SIGPIPE);
    // Nor must a file-size limit: the report write then fails like any other.
    IgnoreSignal(SIGXFSZ);
    // Keep a report file from ever landing on a closed standard descriptor.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd)
                close(opened);
        }
}

Status kxRegisterAppPath(std::u16string &path) {
    std::string bytes;
    if (Status status = RunningImagePath(bytes); status.failed())
        return status;
    path = FileNameToUtf16(bytes);
    return kOk;
}

// The running image's file name without directory and last extension, so a
// renamed copy goes by its own name.
Status kxGetModuleBaseName(std::u16string &baseName) {
    std::string bytes;
    if (Status status = RunningImagePath(bytes); status.failed())
        return status;
    baseName = FileNameToUtf16(BaseNameOf(bytes));
    return kOk;
}

Status kxIsInIDE(std::int16_t &inIde) {
    inIde = 0;
    return kOk;
}

Status kxInitCommonControls() { return kOk; }

// The arguments joined by single spaces, read in the locale's encoding.
Status kxGetArgumentText(std::u16string &text) {
    std::string joined;
    for (int i = 1; i < g_argc; ++i) {
        if (i > 1)
            joined += ' ';
        joined += g_argv[i];
    }
    return LocaleBytesToUtf16(joined, text);
}

Status kxGetLegalCopyright(std::u16string &copyright) {
    copyright = unicode::AsciiToUtf16(ORBELLE_LEGAL_COPYRIGHT);
    return kOk;
}

std::string kxDescribeStatus(const Status &status) {
    return status.detail.empty() ? SystemErrorText(-status.value) : status.detail;
}

// --- Resources ---

namespace {

// Whether a resource's ASCII name is this text, compared without a copy.
bool IsNamed(const char *name, std::u16string_view wanted) {
    for (const char16_t c : wanted)
        if (*name == '\0' || static_cast<unsigned char>(*name++) != c)
            return false;
    return *name == '\0';
}

} // namespace

Status kxLoadResTextA(std::u16string_view name, std::u16string_view type, std::u16string &text) {
    for (std::size_t i = 0; i < embedded_resources::kTextsCount; ++i) {
        const embedded_resources::Resource &resource = embedded_resources::kTexts[i];
        if (IsNamed(resource.name, name) && IsNamed(resource.type, type)) {
            // The resources are written in Windows-1251, whatever the locale.
            text = unicode::Cp1251ToUtf16(
                std::string_view(reinterpret_cast<const char *>(resource.data), resource.size));
            return kOk;
        }
    }
    return Fail(ENOENT,
                "no resource " + unicode::Utf16ToUtf8(type) + "/" + unicode::Utf16ToUtf8(name));
}

Status kxFormatGeneralDateNow(std::u16string &text) {
    const std::string_view timeLocale = EnvironmentLocale("LC_TIME");
    if (!IsCLocale(timeLocale) && !IsCUtf8Locale(timeLocale))
        std::setlocale(LC_TIME, "");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        return Fail(EINVAL, "the local time is not known");
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    char buffer[256];
    const std::size_t length =
        std::strftime(buffer, sizeof buffer, midnight ? "%x" : "%x %X", &local);
    if (length == 0)
        return Fail(ERANGE, "the date does not fit");
    return LocaleBytesToUtf16(std::string_view(buffer, length), text);
}

// --- The kernel's and the system's names ---

Status posix_detail::ReadUname(Uname &result) {
    static std::optional<Uname> known;
    if (!known) {
        utsname names{};
        if (uname(&names) != 0)
            return Fail(errno, std::string("uname: ") + SystemErrorText(errno));
        known = Uname{names.sysname, names.release, names.machine};
    }
    result = *known;
    return kOk;
}

// True when the running kernel is 64-bit, whatever this build's width.
Status kxIsHostWin64(std::int16_t &is64) {
    Uname names;
    if (Status status = ReadUname(names); status.failed())
        return status;
    is64 = posix_sources::IsSixtyFourBitMachine(names.machine) ? -1 : 0;
    return kOk;
}

// os-release's PRETTY_NAME, then the kernel's name, release and machine.
// The two arguments are reserved.
Status kxGetHostOSFullName(std::int32_t, std::int32_t, std::u16string &name) {
    Uname names;
    if (Status status = ReadUname(names); status.failed())
        return status;
    std::string full = names.sysname + " " + names.release + " " + names.machine;
    std::string osRelease;
    if (ReadSmallFile("/etc/os-release", osRelease).ok() ||
        ReadSmallFile("/usr/lib/os-release", osRelease).ok()) {
        const auto pretty = posix_sources::OsReleaseValue(osRelease, "PRETTY_NAME");
        if (pretty && !pretty->empty())
            full = *pretty + ", " + full;
    }
    name = unicode::Utf8ToUtf16(full);
    unicode::ReplaceControlCharacters(name);
    return kOk;
}

// --- Code pages ---

// The ANSI bytes of a text: the locale's encoding, '?' for what it lacks.
Status kxStrConvB(std::u16string_view text, std::string &bytes) {
    const std::string utf8 = unicode::Utf16ToUtf8(text);
    if (unicode::IsAscii(text) || LocaleIsUtf8()) {
        bytes = utf8;
        return kOk;
    }
    return Iconv(LocaleCodeset(), "UTF-8", utf8, "?", true, bytes);
}

Status kxAnsiToOem(std::u16string_view text, std::string &oemBytes) {
    return kxStrConvB(text, oemBytes);
}

namespace {

// Every signal whose default action ends the process: the temporary file
// goes first, then the program ends by that very signal (SA_RESETHAND
// restored its default action).
extern "C" void RemoveTemporaryAndEnd(int signal) {
    if (g_temporaryNamed)
        unlink(g_temporaryName);
    raise(signal);
}

constexpr int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,  SIGIO,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

void RemoveTemporaryOnSignal(int signal) {
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
        return; // ignored by whoever started us, or by kxInitProcess: stays ignored
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void RemoveTemporaryOnSignals() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (const int signal : kEndingSignals)
        RemoveTemporaryOnSignal(signal);
    // The real-time signals, by the kernel's numbers: the C library's own
    // (which it keeps from sigaction) are refused and left alone.
    for (int signal = 32; signal < NSIG; ++signal)
        RemoveTemporaryOnSignal(signal);
}

// Runs a step that gives the temporary file its name with every signal
// held back until the name is recorded for the handler.
template <typename Step> int WithSignalsHeld(Step step) {
    sigset_t held, previous;
    sigemptyset(&held);
    for (int signal = 1; signal < NSIG; ++signal)
        sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous);
    const int result = step();
    const int error = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return result;
}

// A fresh random name for a temporary file in the current directory.
void NewTemporaryName() {
    std::uint64_t random = 0;
    if (getentropy(&random, sizeof random) != 0)
        random ^= static_cast<std::uint64_t>(std::time(nullptr)) * 0x9E3779B97F4A7C15u ^
                  static_cast<std::uint64_t>(getpid()) << 32 ^
                  reinterpret_cast<std::uintptr_t>(&random);
    std::snprintf(g_temporaryName, sizeof g_temporaryName, ".orbelle-%016llx.tmp",
                  static_cast<unsigned long long>(random));
}

// A file for the new report's bytes: nameless where the system and the file
// system allow it, so that nothing is left behind whatever ends the
// program; otherwise a new file of a random name.
int CreateTemporary(bool &named) {
    const int fd = OpenNamelessFile();
    named = false;
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    named = true;
    for (int attempt = 0; attempt < 16; ++attempt) {
        NewTemporaryName();
        const int created = WithSignalsHeld([] {
            const int fd =
                open(g_temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            g_temporaryNamed = fd >= 0;
            return fd;
        });
        if (created >= 0 || errno != EEXIST)
            return created;
    }
    return -1;
}

// Gives the nameless file a random name, for the rename.
int NameTemporary(int fd) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        NewTemporaryName();
        const int linked = WithSignalsHeld([&] {
            g_temporaryNamed = LinkNamelessFile(fd, g_temporaryName) == 0;
            return g_temporaryNamed ? 0 : -1;
        });
        if (linked == 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int WriteAllTo(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written > 0)
            bytes.remove_prefix(static_cast<std::size_t>(written));
        else if (written == 0 || errno != EINTR)
            return written == 0 ? EIO : errno;
    }
    return 0;
}

// The old report's access ACL goes with its mode (the group bits are then its
// mask): a report readable by a named group alone must not become readable
// by its owning group. Where the old one has none, neither has the new one,
// whatever the directory's default ACL gave it.
int KeepAccessAcl(int fd, const char *target, std::string &why) {
    constexpr const char *kAcl = "system.posix_acl_access";
    std::vector<char> acl(256);
    ssize_t size;
    while ((size = lgetxattr(target, kAcl, acl.data(), acl.size())) < 0 && errno == ERANGE &&
           acl.size() < (1u << 20))
        acl.resize(acl.size() * 4);
    if (size < 0 && errno != ENODATA && errno != EOPNOTSUPP) {
        const int error = errno;
        why = "its access control list cannot be read";
        return error;
    }
    if (size < 0)
        return fremovexattr(fd, kAcl) == 0 || errno == ENODATA || errno == EOPNOTSUPP ? 0 : errno;
    if (fsetxattr(fd, kAcl, acl.data(), static_cast<std::size_t>(size), 0) == 0)
        return 0;
    const int error = errno;
    why = "its access control list cannot be kept here";
    return error;
}

// The new report keeps the old one's owner and group where the program may
// set them, and its permission bits without fail: a file system that will
// not take them (one that refuses chmod) would make the new report more
// readable than the old one, so that is a failure to replace it. A new
// report gets 0666 less the umask; the temporary file is 0600 until then.
int GiveAccess(int fd, const char *target, const struct stat *old, std::string &why) {
    if (old == nullptr) {
        // The umask, read by setting it and setting it back (syscall(): an
        // import less for every run to look up).
        const auto mask = static_cast<mode_t>(syscall(SYS_umask, 0));
        syscall(SYS_umask, mask);
        if (fchmod(fd, 0666 & ~mask) != 0) {
            // A file system without permission bits keeps its own.
        }
        return 0;
    }
    if (fchown(fd, old->st_uid, old->st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) {
        // Not allowed to give the file away: it stays the writer's own.
    }
    const mode_t wanted = old->st_mode & 0777;
    const int changed = fchmod(fd, wanted) == 0 ? 0 : errno;
    struct stat now {};
    if (fstat(fd, &now) != 0)
        return errno;
    if ((now.st_mode & 0777) == wanted)
        return KeepAccessAcl(fd, target, why);
    char text[96];
    std::snprintf(text, sizeof text, "its permissions (%04o) cannot be kept here (%04o)",
                  static_cast<unsigned>(wanted), static_cast<unsigned>(now.st_mode & 0777));
    why = text;
    return changed != 0 ? changed : EPERM;
}

// Whether two descriptors hold the same bytes.
bool SameBytes(int a, int b) {
    char first[16384], second[16384];
    while (true) {
        const ssize_t got = ReadSome(a, first, sizeof first);
        if (got < 0 || ReadSome(b, second, static_cast<std::size_t>(got)) != got)
            return false;
        if (got == 0)
            return true;
        if (std::memcmp(first, second, static_cast<std::size_t>(got)) != 0)
            return false;
    }
}

// Whether the file at the report's name is the running program: the same
// inode, or, where a file system gives one file an inode number for each
// spelling of its name (FAT and exFAT through FUSE), a file of the same
// device, size and bytes.
bool IsTheRunningImage(const char *target, const struct stat &old) {
    const int image = OpenRunningImage();
    if (image < 0)
        return false;
    struct stat own {};
    bool same = fstat(image, &own) == 0 && own.st_dev == old.st_dev;
    if (same && own.st_ino != old.st_ino) {
        same = own.st_size == old.st_size;
        const int file =
            same ? open(target, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY) : -1;
        same = file >= 0 && SameBytes(image, file);
        if (file >= 0)
            close(file);
    }
    close(image);
    return same;
}

// Why the file at the report's name must not be replaced, or 0.
int RefusalToReplace(const char *target, const struct stat &old, std::string &why) {
    if (!S_ISREG(old.st_mode))
        return 0;
    if (IsTheRunningImage(target, old)) {
        why = "it is this program's own file";
        return ETXTBSY;
    }
    // rename() would replace a file the user may not write: the file's own
    // permission decides, as it does for writing it in place.
    if ((old.st_mode & 0222) == 0) {
        why = "the file is read-only";
        return EACCES;
    }
    return faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// The name as the user knows it: the current directory's path and the name.
std::string FullPathOf(const std::string &name) {
    std::string directory(256, '\0');
    while (getcwd(directory.data(), directory.size()) == nullptr) {
        if (errno != ERANGE)
            return name;
        directory.resize(directory.size() * 2);
    }
    directory.resize(std::strlen(directory.c_str()));
    return directory == "/" ? "/" + name : directory + "/" + name;
}

// The failure of replacing the report, named by its full path: the given
// reason, or else the system's words for the error.
Status ReplaceFailure(const std::string &target, int error, const std::string &why) {
    return Fail(error, FullPathOf(target) + ": " + (why.empty() ? SystemErrorText(error) : why));
}

// Looks at what is at the report's name (replacing: whether anything is,
// then described by old): why it must not be replaced, or 0.
int ExamineTarget(const char *target, struct stat &old, bool &replacing, std::string &why) {
    replacing = fstatat(AT_FDCWD, target, &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!replacing)
        return errno == ENOENT ? 0 : errno;
    return RefusalToReplace(target, old, why);
}

// The temporary file made ready to take the report's place: its bytes, the
// old report's access (old, or none for a new report), on the disk, and
// with a name.
int FillTemporary(int fd, bool named, std::string_view bytes, const char *target,
                  const struct stat *old, std::string &why) {
    int error = WriteAllTo(fd, bytes);
    if (error == 0)
        error = GiveAccess(fd, target, old, why);
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (error == 0 && !named)
        error = NameTemporary(fd);
    return error;
}

// Closes the temporary file and, when nothing failed before (error 0),
// renames it over the report's name; a named temporary file left over is
// removed. The first error, or 0.
int PutInPlace(int fd, int error, const char *target) {
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(g_temporaryName, target) != 0)
        error = errno;
    if (error != 0 && g_temporaryNamed)
        unlink(g_temporaryName);
    g_temporaryNamed = 0;
    return error;
}

} // namespace

// Writes a temporary file beside the report and renames it over the
// report's name: readers see the old report or the new one, never a part,
// and a symlink at that name is replaced rather than followed.
Status kxReplaceFile(std::u16string_view name, std::string_view bytes) {
    std::string target;
    if (Status status = FileNameBytes(name, target); status.failed())
        return status;
    struct stat old {};
    bool replacing = false;
    std::string why;
    if (const int refusal = ExamineTarget(target.c_str(), old, replacing, why))
        return ReplaceFailure(target, refusal, why);

    RemoveTemporaryOnSignals();
    bool named = false;
    const int fd = CreateTemporary(named);
    if (fd < 0)
        return ReplaceFailure(target, errno, {});
    const struct stat *oldReport = replacing && S_ISREG(old.st_mode) ? &old : nullptr;
    const int error = PutInPlace(
        fd, FillTemporary(fd, named, bytes, target.c_str(), oldReport, why), target.c_str());
    if (error != 0)
        return ReplaceFailure(target, error, why);
    return kOk;
}

namespace {

// A reader that went away (EPIPE) wants no more: that is no failure.
Status WriteAll(int fd, std::string_view bytes, const char *what) {
    if (fcntl(fd, F_GETFD) < 0)
        return kOk;
    const int error = WriteAllTo(fd, bytes);
    if (error != 0 && error != EPIPE)
        return Fail(error, std::string(what) + ": " + SystemErrorText(error));
    return kOk;
}

// Standard output is a text stream, and a POSIX text line ends in LF: each
// CR LF of the program's texts becomes LF, as a C runtime's text mode on
// Windows turns LF into CR LF. A CR on its own stays.
std::string CrLfToLf(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t from = 0; // the bytes before it are in text
    for (std::size_t at = bytes.find("\r\n"); at != std::string_view::npos;
         at = bytes.find("\r\n", at + 2)) {
        text.append(bytes.data() + from, at - from);
        from = at + 1;
    }
    return text.append(bytes.data() + from, bytes.size() - from);
}

} // namespace

Status kxWriteStdOut(std::string_view bytes) {
    return WriteAll(STDOUT_FILENO, CrLfToLf(bytes), "standard output");
}

Status kxWriteStdErr(std::string_view bytes) {
    return WriteAll(STDERR_FILENO, bytes, "standard error");
}

void kxWriteErrorLine(std::u16string_view line) {
    std::string bytes;
    if (kxAnsiToOem(line, bytes).failed())
        bytes = unicode::Utf16ToUtf8(line);
    kxWriteStdErr(bytes + "\n");
}

void kxReportOutOfMemory() noexcept {
    constexpr std::string_view kRest =
        ": run-time error: allocating memory failed (status -12: out of memory)\n";
    if (write(STDERR_FILENO, g_errorName, std::strlen(g_errorName)) >= 0 &&
        write(STDERR_FILENO, kRest.data(), kRest.size()) >= 0) {
        // Nothing more can be done about a standard error that takes nothing.
    }
}

} // namespace kxutil

// kxutil on Linux: every value with the meaning of its Windows namesake,
// taken from Linux's own sources (/proc, /sys, the auxiliary vector, cpuid
// and the systemd journal), and the running image as the kernel knows it.
// What every POSIX system shares is in kxutil_posix.cpp.
#include "kxutil.h"
#include "kxutil_posix_detail.h"
#include "linux_sources.h"
#include "unicode.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

namespace kxutil {

using namespace posix_detail;

namespace {

constexpr const char *kJournalSocket = "/run/systemd/journal/socket";

// The target of /proc/self/exe, however long.
Status ReadImageLink(std::string &path) {
    std::string buffer(256, '\0');
    while (true) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return Fail(errno, std::string("/proc/self/exe: ") + SystemErrorText(errno));
        if (static_cast<std::size_t>(length) < buffer.size()) {
            path.assign(buffer, 0, static_cast<std::size_t>(length));
            return kOk;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The kernel adds " (deleted)" to the link of an image whose file was
// removed (or that never had one, as a memfd); that is no part of its name.
std::string WithoutDeletedMark(std::string path) {
    constexpr std::string_view kMark = " (deleted)";
    if (path.size() <= kMark.size() ||
        path.compare(path.size() - kMark.size(), kMark.size(), kMark) != 0)
        return path;
    struct stat image {};
    struct stat named {};
    if (fstatat(AT_FDCWD, "/proc/self/exe", &image, 0) == 0 &&
        fstatat(AT_FDCWD, path.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        image.st_dev == named.st_dev && image.st_ino == named.st_ino)
        return path; // a file really called so
    path.resize(path.size() - kMark.size());
    return path;
}

// Whether the kernel ran the dynamic loader itself, with the program as its
// argument (ld.so ./OrbelleC, the way to run a program from a noexec
// mount): the loader then had no interpreter (AT_BASE is 0), and
// /proc/self/exe names the loader, not the program. The loader puts the
// program's own path in AT_EXECFN and argv[0]. (A statically linked
// program has no interpreter either; AT_EXECFN names it all the same.)
bool StartedByTheLoader() { return getauxval(AT_BASE) == 0; }

const char *ExecFn() {
    const auto *execFn = reinterpret_cast<const char *>(getauxval(AT_EXECFN));
    return execFn != nullptr && *execFn != '\0' ? execFn : nullptr;
}

} // namespace

// As the kernel knows it, or, started by the loader or without /proc, as it
// was started (the auxiliary vector's AT_EXECFN, then argv[0]).
Status posix_detail::RunningImagePath(std::string &path) {
    static std::string known;
    if (known.empty()) {
        std::string found;
        if (StartedByTheLoader() && ExecFn() != nullptr) {
            found = ExecFn();
        } else if (ReadImageLink(found).ok()) {
            found = WithoutDeletedMark(std::move(found));
        } else if (ExecFn() != nullptr) {
            found = ExecFn();
        } else if (ArgumentCount() > 0 && Arguments()[0] != nullptr && *Arguments()[0] != '\0') {
            found = Arguments()[0];
        } else {
            return Fail(ENOENT, "the program's own file is not known (no /proc/self/exe, "
                                "AT_EXECFN or argv[0])");
        }
        known = std::move(found);
        KeepErrorName(known);
    }
    path = known;
    return kOk;
}

// The image is opened without ever blocking, and only a regular file is
// taken: by its path (run through the loader, or without /proc) a FIFO may
// stand there by now.
int posix_detail::OpenRunningImage() {
    const auto openRegular = [](const char *path) {
        const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat file {};
        if (fd < 0 || (fstat(fd, &file) == 0 && S_ISREG(file.st_mode)))
            return fd;
        close(fd);
        return -1;
    };
    int image = StartedByTheLoader() ? -1 : openRegular("/proc/self/exe");
    std::string path;
    if (image < 0 && RunningImagePath(path).ok())
        image = openRegular(path.c_str());
    return image;
}

namespace {

// The page size the kernel passes every program (what sysconf gives, without
// importing it).
long PageSize() { return static_cast<long>(getauxval(AT_PAGESZ)); }

// --- The processor ---

// Level and revision as Windows fills them: on x86 from cpuid, elsewhere
// from /proc/cpuinfo (linux_sources). dwProcessorType is left alone: it is
// not read.
void ReadProcessorLevel(SystemInfoRecord &info) {
    posix_sources::ProcessorIdentity identity;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        identity = posix_sources::X86ProcessorIdentity(eax);
#else
    std::string cpuinfo;
    if (ReadSmallFile("/proc/cpuinfo", cpuinfo).ok())
        identity = linux_sources::CpuInfoProcessorIdentity(cpuinfo);
#endif
    info.wProcessorLevel = identity.level;
    info.wProcessorRevision = identity.revision;
}

// --- The address space ---

// Whether this page of the address space is one the process may map: free
// and accepted by the kernel, or already mapped.
bool IsUserPage(std::uintptr_t address, std::size_t pageSize) {
    void *wanted = reinterpret_cast<void *>(address);
    void *got = mmap(wanted, pageSize, PROT_NONE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED)
        return errno == EEXIST;
    munmap(got, pageSize);
    return got == wanted; // kernels before 4.17 take the flag as a mere hint
}

// The ends of the user address space the kernels set (TASK_SIZE), most
// common first: x86-64 with four and five paging levels, arm64 with 48, 39,
// 42 and 52 address bits, and 32-bit programs.
constexpr std::uint64_t kUsualUserSpaceEnds[] = {(std::uint64_t{1} << 47) - 4096,
                                                 (std::uint64_t{1} << 56) - 4096,
                                                 std::uint64_t{1} << 48,
                                                 std::uint64_t{1} << 39,
                                                 std::uint64_t{1} << 42,
                                                 std::uint64_t{1} << 52,
                                                 0xFFFFE000,
                                                 0xC0000000,
                                                 0xFFFFF000};

// The last byte of the highest page the process can map: the user address
// space is one run of pages from the bottom up to the kernel's TASK_SIZE.
// Two probes confirm one of the usual ends; failing that, a binary search
// over page numbers, from this very stack's page (a user page for certain)
// up, finds it.
std::uintptr_t HighestUserAddress(std::size_t pageSize) {
    static std::uintptr_t cached = 0;
    if (cached != 0)
        return cached;
    const int onTheStack = 0;
    std::uintptr_t low = reinterpret_cast<std::uintptr_t>(&onTheStack) / pageSize;
    for (const std::uint64_t end : kUsualUserSpaceEnds) {
        if (end > UINTPTR_MAX || end % pageSize != 0 || end / pageSize <= low)
            continue;
        const std::uintptr_t firstAbove = static_cast<std::uintptr_t>(end / pageSize);
        if (IsUserPage((firstAbove - 1) * pageSize, pageSize) &&
            !IsUserPage(firstAbove * pageSize, pageSize))
            return cached = (firstAbove - 1) * pageSize + (pageSize - 1);
    }
    std::uintptr_t high = UINTPTR_MAX / pageSize; // the last page number: never a user page
    while (high - low > 1) {
        const std::uintptr_t middle = low + (high - low) / 2;
        if (IsUserPage(middle * pageSize, pageSize))
            low = middle;
        else
            high = middle;
    }
    cached = low * pageSize + (pageSize - 1);
    return cached;
}

// --- Memory ---

// The memory hierarchy where systems mount it, /sys/fs/cgroup (unified) or
// /sys/fs/cgroup/memory, when it is a cgroup file system there and holds
// the process's cgroup: that spares reading the mount table, the costliest
// file of a report. A hierarchy mounted elsewhere, or from another root (a
// container without its own cgroup namespace), is found in the mount table.
std::optional<linux_sources::CgroupDirectory>
ConventionalCgroupDirectory(const linux_sources::CgroupPath &path) {
    constexpr long kCgroupMagic = 0x27e0eb, kCgroup2Magic = 0x63677270;
    const std::string mountPoint = path.unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    struct statfs fileSystem {};
    if (statfs(mountPoint.c_str(), &fileSystem) != 0 ||
        static_cast<long>(fileSystem.f_type) != (path.unified ? kCgroup2Magic : kCgroupMagic))
        return std::nullopt;
    const std::string directory = path.path == "/" ? mountPoint : mountPoint + path.path;
    if (faccessat(AT_FDCWD, directory.c_str(), F_OK, 0) != 0)
        return std::nullopt;
    return linux_sources::CgroupDirectory{directory, mountPoint};
}

std::optional<linux_sources::CgroupDirectory>
CgroupDirectoryFromMountTable(const linux_sources::CgroupPath &path) {
    std::optional<linux_sources::CgroupDirectory> found;
    // A hierarchy may be listed at a place another mount now hides: the
    // first one whose directory is there is the one to read.
    ForEachLine("/proc/self/mountinfo", [&](std::string_view line) {
        auto candidate = linux_sources::MemoryCgroupDirectory(line, path);
        if (!candidate || faccessat(AT_FDCWD, candidate->directory.c_str(), F_OK, 0) != 0)
            return false;
        found = std::move(candidate);
        return true;
    });
    return found;
}

std::optional<linux_sources::CgroupMemory> ReadCgroupMemory(std::uint64_t physicalTotal) {
    std::string procCgroup;
    if (ReadSmallFile("/proc/self/cgroup", procCgroup).failed())
        return std::nullopt;
    const auto path = linux_sources::MemoryCgroupPath(procCgroup);
    if (!path)
        return std::nullopt;
    auto where = ConventionalCgroupDirectory(*path);
    if (!where)
        where = CgroupDirectoryFromMountTable(*path);
    if (!where)
        return std::nullopt;
    const char *limitFile = path->unified ? "/memory.max" : "/memory.limit_in_bytes";
    const char *usageFile = path->unified ? "/memory.current" : "/memory.usage_in_bytes";
    const char *inactiveKey = path->unified ? "inactive_file" : "total_inactive_file";
    // A limit set on an ancestor binds too: the tightest one up to the mount
    // point is the one in force. Its usage matters only when it is below the
    // machine's memory; otherwise the machine's figures stand.
    std::optional<linux_sources::CgroupMemory> tightest;
    std::string tightestDirectory, directory = where->directory, content;
    while (true) {
        if (ReadSmallFile((directory + limitFile).c_str(), content).ok()) {
            const auto limit = linux_sources::ParseMemoryLimit(content);
            if (limit && (!tightest || *limit < tightest->limit)) {
                tightest = linux_sources::CgroupMemory{*limit, 0, 0};
                tightestDirectory = directory;
            }
        }
        if (directory.size() <= where->mountPoint.size())
            break;
        directory.erase(directory.rfind('/'));
    }
    if (tightest && tightest->limit < physicalTotal) {
        if (ReadSmallFile((tightestDirectory + usageFile).c_str(), content).ok())
            tightest->usage = linux_sources::ParseMemoryLimit(content).value_or(0);
        if (ReadSmallFile((tightestDirectory + "/memory.stat").c_str(), content).ok())
            tightest->inactiveFile =
                linux_sources::SpaceSeparatedField(content, inactiveKey).value_or(0);
    }
    return tightest;
}

// Without /sys (a chroot or container that mounts only /proc): the
// processors this process may run on, its affinity mask, as the kernel
// gives it (through syscall(), which the program imports already: each
// imported function costs a look-up at start).
Status ReadAffinity(SystemInfoRecord &info) {
    unsigned long set[65536 / (8 * sizeof(unsigned long))] = {};
    const long size = syscall(SYS_sched_getaffinity, 0, sizeof set, set);
    if (size <= 0)
        return Fail(errno, std::string("sched_getaffinity: ") + SystemErrorText(errno));
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(size) / sizeof set[0]; ++i)
        count += static_cast<std::uint32_t>(__builtin_popcountl(set[i]));
    std::uint64_t mask = set[0];
    if (sizeof set[0] < sizeof mask)
        mask |= static_cast<std::uint64_t>(set[1]) << 32;
    info.dwNumberOfProcessors = count;
    info.dwActiveProcessorMask = static_cast<std::uintptr_t>(mask);
    return kOk;
}

// dwNumberOfProcessors and dwActiveProcessorMask from the kernel's list of
// online processors, read here without blocking (the C library's count,
// sysconf or get_nprocs, opens the same file blocking, and reads it again).
Status ReadProcessors(SystemInfoRecord &info) {
    constexpr const char *kOnline = "/sys/devices/system/cpu/online";
    std::string text;
    const Status read = ReadSmallFile(kOnline, text);
    if (read.value == -ENOENT || read.value == -ENOTDIR)
        return ReadAffinity(info);
    if (read.failed())
        return read;
    std::uint64_t count = 0;
    const auto mask = linux_sources::ParseCpuList(text, &count);
    if (!mask || count == 0)
        return Fail(EBADMSG, std::string(kOnline) + " holds no CPU list");
    // The report reads the count as a signed 32-bit number.
    if (count > INT32_MAX)
        return Fail(EOVERFLOW, std::string(kOnline) + " lists more CPUs than a count holds");
    info.dwNumberOfProcessors = static_cast<std::uint32_t>(count);
    info.dwActiveProcessorMask = static_cast<std::uintptr_t>(*mask);
    return kOk;
}

} // namespace

// --- System facts ---

// wProcessorArchitecture: the kernel's machine (uname), as a Windows code.
// wProcessorLevel, wProcessorRevision: see ReadProcessorLevel.
// dwPageSize: the kernel's AT_PAGESZ; dwAllocationGranularity: the same, as
//   Linux places mappings at page granularity.
// lpMinimumApplicationAddress: vm.mmap_min_addr, at least one page.
// lpMaximumApplicationAddress: the last byte the process can map.
// dwNumberOfProcessors: the online logical processors;
// dwActiveProcessorMask: bit n set for online CPU n.
Status kxGetNativeSystemInfo(SystemInfoRecord &info) {
    Uname names;
    if (Status status = ReadUname(names); status.failed())
        return status;
    info.wProcessorArchitecture = posix_sources::ArchitectureCode(names.machine);
    ReadProcessorLevel(info);

    const long pageSize = PageSize();
    if (pageSize <= 0)
        return Fail(EINVAL, "the auxiliary vector gave no page size");
    info.dwPageSize = static_cast<std::uint32_t>(pageSize);
    info.dwAllocationGranularity = static_cast<std::uint32_t>(pageSize);

    std::string text;
    if (Status status = ReadSmallFile("/proc/sys/vm/mmap_min_addr", text); status.failed())
        return status;
    const auto minimum = linux_sources::ParseMemoryLimit(text);
    if (!minimum)
        return Fail(EBADMSG, "/proc/sys/vm/mmap_min_addr holds no number");
    info.lpMinimumApplicationAddress = static_cast<std::uintptr_t>(
        std::max<std::uint64_t>(*minimum, static_cast<std::uint64_t>(pageSize)));
    info.lpMaximumApplicationAddress = HighestUserAddress(static_cast<std::size_t>(pageSize));

    return ReadProcessors(info);
}

// dwMemoryLoad: used percent of physical memory, truncated.
// ullTotalPhys: MemTotal; ullAvailPhys: MemAvailable (or its estimate).
//   Inside a memory cgroup whose limit is below MemTotal: the limit, and the
//   limit minus the usage that is not reclaimable file cache; MemTotal is
//   then ullMachineTotalPhys.
// ullTotalPageFile: physical + SwapTotal, the commit limit's meaning;
// ullAvailPageFile: available physical + SwapFree.
// ullTotalVirtual: the user address space; ullAvailVirtual: that minus the
//   process's own mappings (VmSize, which /proc/self/statm gives in pages,
//   and which the kernel makes far faster than /proc/self/status).
Status kxGlobalMemoryStatus(MemoryStatusRecord &status) {
    std::string memInfoText, processStatm;
    if (Status read = ReadSmallFile("/proc/meminfo", memInfoText); read.failed())
        return read;
    const auto memInfo = linux_sources::ParseMemInfo(memInfoText);
    if (!memInfo)
        return Fail(EBADMSG, "/proc/meminfo holds no MemTotal");
    if (Status read = ReadSmallFile("/proc/self/statm", processStatm); read.failed())
        return read;
    // Another statm field would not show: the process's megabytes vanish below three digits.
    const auto vmPages = linux_sources::ParseStatmSize(processStatm);
    if (!vmPages)
        return Fail(EBADMSG, "/proc/self/statm holds no size");

    const long pageSize = PageSize();
    if (pageSize <= 0)
        return Fail(EINVAL, "the auxiliary vector gave no page size");
    const std::uint64_t userSpace =
        static_cast<std::uint64_t>(HighestUserAddress(static_cast<std::size_t>(pageSize))) + 1;
    status = posix_sources::MapMemoryStatus(linux_sources::PhysicalMemoryOf(*memInfo),
                                            ReadCgroupMemory(memInfo->total), userSpace, *vmPages,
                                            static_cast<std::uint64_t>(pageSize));
    return kOk;
}

// --- Destinations ---

namespace {

// A journal that does not read its socket (stopped, or hung) must not hold
// the program for ever: the send is given this long.
constexpr unsigned kJournalWaitSeconds = 5;

extern "C" void InterruptTheSend(int) {}

// Runs send with SIGALRM set to interrupt it (no SA_RESTART) after the
// given time; a send cut short gives -EINTR. SIGALRM is let through for the
// send whatever signal mask the program was started with: a caller that
// blocks it must not make the wait endless.
template <typename Send> int SendWithin(unsigned seconds, Send send) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = InterruptTheSend;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, &previous);
    sigset_t alarmOnly, previousMask;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarmOnly, &previousMask);
    alarm(seconds);
    const int result = send();
    alarm(0);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    return result;
}

} // namespace

namespace {

// Every report entry carries this MESSAGE_ID, whatever its kind, so that
// `journalctl MESSAGE_ID=...` finds them all; the manual page names it.
constexpr std::string_view kReportMessageId = "MESSAGE_ID=703b1144aadb45e18a2c29115422acd3";

// A name journald takes as it is: 1 to 64 upper-case letters, digits and
// '_', beginning with neither a digit nor '_' (those are the journal's own).
bool IsJournalFieldName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name[0] == '_' || (name[0] >= '0' && name[0] <= '9'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

Status CheckFieldNames(const std::vector<LogField> &fields) {
    for (const LogField &field : fields)
        if (field.reported && !IsJournalFieldName(field.name))
            return Fail(EINVAL, "not a journal field name: " + std::string(field.name));
    return kOk;
}

// sd_journal_send() reports success even when no journal listens, so the
// socket is tried first.
Status CheckJournalListens() {
    const int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return Fail(errno, std::string("socket: ") + SystemErrorText(errno));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, kJournalSocket, sizeof address.sun_path - 1);
    const int connected = connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    const int connectError = errno;
    close(probe);
    if (connected != 0 && (connectError == EACCES || connectError == EPERM))
        return Fail(connectError, std::string("permission denied: the journal's socket refuses "
                                              "this user (") +
                                      kJournalSocket + ": " + SystemErrorText(connectError) + ")");
    if (connected != 0)
        return Fail(connectError, std::string("systemd-journald is not running (") +
                                      kJournalSocket + ": " + SystemErrorText(connectError) + ")");
    return kOk;
}

// MESSAGE with LF line ends: journalctl shows an entry holding a CR as
// binary data.
std::string MessageField(std::u16string_view text) {
    std::string message = "MESSAGE=";
    for (char c : unicode::Utf16ToUtf8(text))
        if (c == '\n' && !message.empty() && message.back() == '\r')
            message.back() = '\n';
        else
            message += c;
    return message;
}

// The fields after MESSAGE, back to back in one buffer; ends holds where
// each one ends.
struct EntryFields {
    std::string bytes;
    std::vector<std::size_t> ends;
};

void AppendField(EntryFields &entry, std::string_view name, std::u16string_view value) {
    entry.bytes += name;
    entry.bytes += '=';
    if (std::all_of(value.begin(), value.end(), [](char16_t c) { return c < 0x80; }))
        entry.bytes.append(value.begin(), value.end());
    else
        entry.bytes += unicode::Utf16ToUtf8(value);
    entry.ends.push_back(entry.bytes.size());
}

// PRIORITY 6 (information), SYSLOG_IDENTIFIER the program's base name,
// MESSAGE_ID, then the reported fields.
EntryFields OtherFields(std::u16string_view baseName, const std::vector<LogField> &fields) {
    EntryFields entry{"PRIORITY=6", {}};
    entry.ends.push_back(entry.bytes.size());
    AppendField(entry, "SYSLOG_IDENTIFIER", baseName);
    entry.bytes += kReportMessageId;
    entry.ends.push_back(entry.bytes.size());
    for (const LogField &field : fields)
        if (field.reported)
            AppendField(entry, field.name, field.value);
    return entry;
}

// One iovec for each field.
std::vector<iovec> FieldVectors(std::string &message, EntryFields &others) {
    std::vector<iovec> vectors = {{message.data(), message.size()}};
    for (std::size_t i = 0, start = 0; i < others.ends.size(); start = others.ends[i++])
        vectors.push_back({others.bytes.data() + start, others.ends[i] - start});
    return vectors;
}

using SendFunction = decltype(&sd_journal_sendv);

// libsystemd is loaded only here: the other commands never pay for it.
Status LoadJournalSend(SendFunction &send) {
    void *library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    send = library == nullptr ? nullptr
                              : reinterpret_cast<SendFunction>(dlsym(library, "sd_journal_sendv"));
    if (send == nullptr) {
        const char *why = dlerror();
        return Fail(ENOENT, std::string("loading libsystemd.so.0: ") + (why ? why : "not found"));
    }
    return kOk;
}

Status SendToJournal(SendFunction send, std::vector<iovec> &vectors) {
    const int sent = SendWithin(kJournalWaitSeconds, [&] {
        return send(vectors.data(), static_cast<int>(vectors.size()));
    });
    if (sent == -EINTR)
        return Fail(ETIMEDOUT, "systemd-journald took no entry for " +
                                   std::to_string(kJournalWaitSeconds) + " seconds");
    if (sent < 0)
        return Fail(-sent, std::string("sending to systemd-journald: ") + SystemErrorText(-sent));
    return kOk;
}

} // namespace

// One journal entry: MESSAGE, then the other fields. Each is one iovec for
// sd_journal_sendv, which frames a value holding a newline by its length:
// no value can end its field early or add another one.
Status kxLogInfo(std::u16string_view text, const std::vector<LogField> &fields,
                 std::int32_t &unused) {
    unused = 0;
    if (Status status = CheckFieldNames(fields); status.failed())
        return status;
    if (Status status = CheckJournalListens(); status.failed())
        return status;
    std::string message = MessageField(text);
    std::u16string baseName;
    if (Status status = kxGetModuleBaseName(baseName); status.failed())
        return status;
    EntryFields others = OtherFields(baseName, fields);
    std::vector<iovec> vectors = FieldVectors(message, others);
    SendFunction send = nullptr;
    if (Status status = LoadJournalSend(send); status.failed())
        return status;
    return SendToJournal(send, vectors);
}

// A new file in the current directory without a name (O_TMPFILE): nothing
// is left of it, whatever ends the program, until it is given one.
int posix_detail::OpenNamelessFile() { return open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); }

// Through /proc/self/fd, or, without /proc, AT_EMPTY_PATH (which needs
// CAP_DAC_READ_SEARCH).
int posix_detail::LinkNamelessFile(int fd, const char *name) {
    const std::string fdPath = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno == ENOENT ? linkat(fd, "", AT_FDCWD, name, AT_EMPTY_PATH) : -1;
}

} // namespace kxutil

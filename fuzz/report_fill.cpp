// report_fill: FillReport on a fuzzed template and fuzzed records.
//
// Input: a 117-byte head (flags, OS-name length, the memory record with each
// double picked from edge values or raw bits, the system record), then the
// OS-name bytes, then the template. Template bytes: printable ASCII as it is,
// bytes below 0x20 as placeholders ("%01".."%32" and near misses) except
// TAB, LF and CR, 0x7F and two bytes as a raw UTF-16 unit, and bytes from
// 0x80 as Windows-1251 (so the real templates are inputs as they stand).
//
// Properties, for every fact of the table (core/facts.h), not a second list
// of them: RunTimeError comes exactly when a byte count in the record is NaN
// or infinite (status -34) or "total page file minus available page file" is
// not finite (-33); each fact alone is its value in the reference
// conversions of fuzz_support.h by the table's formatter, and its journal
// field the exact value; a template whose every "%" starts a fact's
// placeholder keeps none, nor does a real report template; the text grows
// by at most a longest value a "%"; "%32%01" ends as the OS name followed by
// the memory load, however many placeholders the name holds; the OS name
// holds no control character; the journal's fields of the template are the
// table's facts in its order, reported where it holds their placeholder
// (the memory limit's two where the record has the machine's own total),
// each other one empty.
//
// The OS name is fuzzed too where the process may have a mount namespace of
// its own (root): a scratch file is bound over os-release there, in that
// namespace only, and rewritten for every input. Elsewhere the machine's
// own name is used.
#include "facts.h"
#include "fuzz_support.h"
#include "modMain.h"
#include "orbelle_version.h"
#include "unicode.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <sched.h>
#include <sys/mount.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

using fuzz::Widen;

constexpr const char16_t *kReportTemplates[] = {
    u"TXT_INFO_ALL",       u"TXT_INFO_VERSION", u"TXT_MEMORY_STAT", u"TXT_MEMORY_INFO",
    u"TXT_PROCESSOR_INFO", u"TXT_LIGHT_INFO",   u"TXT_LIGHT_INFO_2"};

struct Context {
    std::vector<std::u16string> realTemplates;
    std::u16string unameText; // what follows the pretty name
    bool is64 = false;
    int osRelease = -1; // the scratch file over os-release, or -1
};
Context g;

std::u16string Scrubbed(std::u16string text) {
    for (char16_t &c : text)
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            c = u'?';
    return text;
}

// A report template as the program keeps it: the Windows-1251 file,
// without trailing blanks and tabs.
std::u16string ReadTemplateFile(std::u16string_view name) {
    const std::string path =
        std::string(ORBELLE_SOURCE_DIR) + "/resources/" + unicode::Utf16ToUtf8(name) + ".txt";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "report_fill: cannot read %s\n", path.c_str());
        std::abort();
    }
    std::u16string text = unicode::Cp1251ToUtf16(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.pop_back();
    return text;
}

void BindScratchOsRelease() {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return;
    // On tmpfs where there is one: ext4 flushes a file truncated and rewritten at every close.
    char shm[] = "/dev/shm/orbelle-fuzz-os-release-XXXXXX";
    char tmp[] = "/tmp/orbelle-fuzz-os-release-XXXXXX";
    char *path = shm;
    int fd = mkstemp(shm);
    if (fd < 0)
        fd = mkstemp(path = tmp);
    if (fd < 0)
        return;
    // /etc/os-release is read first (through its link to /usr/lib/os-release, where it is one).
    if (mount(path, "/etc/os-release", nullptr, MS_BIND, nullptr) == 0)
        g.osRelease = fd;
    unlink(path);
    if (g.osRelease < 0)
        close(fd);
}

void WriteOsRelease(std::string_view content) {
    if (ftruncate(g.osRelease, 0) != 0 || pwrite(g.osRelease, content.data(), content.size(), 0) !=
                                              static_cast<ssize_t>(content.size())) {
        std::fprintf(stderr, "report_fill: cannot rewrite the scratch os-release\n");
        std::abort();
    }
}

constexpr const char16_t *kTokens[32] = {
    u"%01",  u"%02", u"%03", u"%04", u"%05", u"%06", u"%07", u"%08", u"%10", u"\t",  u"\n",
    u"%11",  u"%12", u"\r",  u"%13", u"%20", u"%21", u"%22", u"%23", u"%24", u"%30", u"%32",
    u"\r\n", u"%00", u"%0",  u"%",   u"%09", u"%14", u"%31", u"%33", u"%2",  u"%3"};

std::u16string DecodeTemplate(std::string_view bytes) {
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b < 0x20)
            text += kTokens[b];
        else if (b < 0x7F)
            text += static_cast<char16_t>(b);
        else if (b == 0x7F && i + 2 < bytes.size()) {
            text += static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i + 1]) |
                                          static_cast<std::uint8_t>(bytes[i + 2]) << 8);
            i += 2;
        } else
            text += unicode::Cp1251ToUtf16(bytes.substr(i, 1));
    }
    return text;
}

// An OS name for PRETTY_NAME: placeholders below 0x20 (a line break as a
// vertical tab, to keep it one line), 0x7F and a raw byte, other bytes as
// they are.
std::string DecodeName(std::string_view bytes) {
    std::string name;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b < 0x20)
            name += unicode::Utf16ToUtf8(kTokens[b]);
        else if (b == 0x7F && i + 1 < bytes.size())
            name += bytes[++i];
        else
            name += bytes[i];
    }
    for (char &c : name)
        if (c == '\n')
            c = '\v';
    return name;
}

double TakeDouble(fuzz::Reader &input) {
    // clang-format off
    static const double kEdges[] = {
        0.0, -0.0, 1.0, 1023.0, 1023.999, 1024.0, 1000.0 * 1024, 1048576.0, 25275994112.0,
        140737488351232.0, std::numeric_limits<double>::quiet_NaN(),
        -std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::signaling_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
        std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
        -std::numeric_limits<double>::denorm_min(), 0x1p64, 0x1p64 - 2048, 0x1p63, 0x1p53 + 2,
        1e300, -1.0, -1e30, -1023.5, 1000.0 * 0x1p50, 0.5, 4096.0, -4096.0,
    };
    // clang-format on
    const auto pick = input.Take<std::uint8_t>();
    const auto bits = input.Take<double>();
    return pick < std::size(kEdges) ? kEdges[pick] : bits;
}

struct Outcome {
    bool threw = false;
    std::int32_t status = 0;
    std::u16string text;
};

Outcome Actual(std::u16string text, const kxutil::SystemInfoRecord &system,
               const kxutil::MemoryStatusRecord &memory, std::u16string_view osName) {
    try {
        modMain::FillReport(text, system, memory, g.is64, osName);
        return {false, 0, text};
    } catch (const modMain::RunTimeError &error) {
        return {true, error.status, {}};
    }
}

// A RunTimeError exactly where a byte count in the record is NaN or infinite
// (status -34), or "total page file minus available page file" is not finite (-33).
std::int32_t ExpectedStatus(const kxutil::MemoryStatusRecord &memory) {
    for (double size : {memory.ullAvailPhys, memory.ullTotalPhys, memory.ullAvailPageFile,
                        memory.ullTotalPageFile, memory.ullAvailVirtual, memory.ullTotalVirtual})
        if (!std::isfinite(size))
            return kxutil::kErrRange;
    return std::isfinite(memory.ullTotalPageFile - memory.ullAvailPageFile) ? 0 : -33;
}

// A fact's text as the reference conversions write its value, by the table's formatter.
std::u16string ShownText(modMain::Shown shown, const modMain::FactValue &value) {
    constexpr int kAddressDigits = sizeof(std::uintptr_t) * 2;
    switch (shown) {
    case modMain::Shown::kNumber:
        return Widen(fuzz::SignedDecimal(static_cast<std::int32_t>(value.integer)));
    case modMain::Shown::kByteSize: return Widen(*fuzz::ByteSize(value.bytes));
    case modMain::Shown::kUnsignedSize:
        return Widen(*fuzz::ByteSize(static_cast<std::uint32_t>(value.integer)));
    case modMain::Shown::kAddress: return Widen(fuzz::Hex(value.integer, kAddressDigits));
    case modMain::Shown::kMask: return Widen(fuzz::Binary(value.integer, kAddressDigits * 4));
    case modMain::Shown::kText: return std::u16string(value.text);
    default: return {}; // the processor's three: the unit tests' table
    }
}

// The exact value as the journal carries it: every digit, never an exponent.
std::string ExactText(modMain::Exact exact, const modMain::FactValue &value) {
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", value.bytes);
    return exact == modMain::Exact::kInteger ? std::to_string(value.integer)
           : exact == modMain::Exact::kText  ? unicode::Utf16ToUtf8(value.text)
           : std::string(digits) == "-0"     ? "0"
                                             : digits;
}

// Every fact of the table, each alone on its line, is its value in the
// reference conversions. The fuzzed template's fields: the table's facts in
// its order, reported, with the exact value, where the template holds the
// placeholder (the memory limit's two only with the machine's own total),
// every other one empty.
void CheckFacts(std::u16string_view templateText, const kxutil::SystemInfoRecord &system,
                const kxutil::MemoryStatusRecord &memory, std::u16string_view osName) {
    const modMain::Reading reading{system, memory, g.is64, osName, u"all"};
    std::u16string lines;
    for (const modMain::Fact &fact : modMain::kFacts)
        if (!fact.placeholder.empty() && !fact.underMemoryLimit)
            lines.append(fact.placeholder).append(u"\n");
    modMain::FillReport(lines, system, memory, g.is64, osName);
    const std::vector<kxutil::LogField> fields =
        modMain::ReportFields(modMain::kAll, templateText, system, memory, g.is64, osName);
    FUZZ_REQUIRE(fields.size() == std::size(modMain::kFacts));
    std::size_t at = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const modMain::Fact &fact = modMain::kFacts[i];
        const modMain::FactValue value = fact.value(reading);
        FUZZ_REQUIRE(fields[i].name == fact.field);
        const bool held = fact.placeholder.empty() ||
                          (templateText.find(fact.placeholder) != std::u16string_view::npos &&
                           (!fact.underMemoryLimit || memory.ullMachineTotalPhys > 0));
        FUZZ_REQUIRE(fields[i].reported == held);
        FUZZ_REQUIRE(unicode::Utf16ToUtf8(fields[i].value) ==
                     (held ? ExactText(fact.exact, value) : ""));
        if (fact.placeholder.empty() || fact.underMemoryLimit)
            continue;
        const std::size_t end = lines.find(u'\n', at);
        FUZZ_REQUIRE(end != std::u16string::npos);
        const std::u16string text = lines.substr(at, end - at);
        at = end + 1;
        FUZZ_REQUIRE(!text.empty() && (fact.shown == modMain::Shown::kText ||
                                       text.find(u'%') == std::u16string::npos));
        if (fact.shown != modMain::Shown::kProcessor && fact.shown != modMain::Shown::kNot)
            FUZZ_REQUIRE(text == ShownText(fact.shown, value));
    }
    FUZZ_REQUIRE(at == lines.size());
}

// FillReport's result: the expected error, or a text that, where every "%"
// of the template starts a fact's placeholder and the name holds none, holds
// no "%" at all (no value holds one), no longer than the template with
// every placeholder its longest value.
Outcome CheckFill(std::u16string_view templateText, const kxutil::SystemInfoRecord &system,
                  const kxutil::MemoryStatusRecord &memory, std::u16string_view osName) {
    Outcome actual = Actual(std::u16string(templateText), system, memory, osName);
    const std::int32_t status = ExpectedStatus(memory);
    FUZZ_REQUIRE(actual.threw == (status != 0) && actual.status == status);
    if (actual.threw)
        return actual;
    CheckFacts(templateText, system, memory, osName);
    std::size_t percents = 0, placeholders = 0;
    for (std::size_t at = 0; (at = templateText.find(u'%', at)) != std::u16string::npos;
         ++at, ++percents)
        placeholders += std::any_of(std::begin(modMain::kFacts), std::end(modMain::kFacts),
                                    [&](const modMain::Fact &fact) {
                                        return fact.placeholder == templateText.substr(at, 3);
                                    });
    if (percents == placeholders && osName.find(u'%') == std::u16string_view::npos)
        FUZZ_REQUIRE(actual.text.find(u'%') == std::u16string::npos);
    // The longest value: the name, or the exabytes of the largest double.
    FUZZ_REQUIRE(actual.text.size() <= templateText.size() + percents * (320 + osName.size()));
    return actual;
}

bool HasPlaceholder(std::u16string_view text) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i)
        if (text[i] == u'%' && text[i + 1] >= u'0' && text[i + 1] <= u'9' && text[i + 2] >= u'0' &&
            text[i + 2] <= u'9')
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    for (const char16_t *name : kReportTemplates) {
        g.realTemplates.push_back(ReadTemplateFile(name));
        FUZZ_REQUIRE(g.realTemplates.back() == modMain::LoadTextBlock(name));
    }
    FUZZ_REQUIRE(ReadTemplateFile(u"TXT_USAGE_NEW") == modMain::LoadTextBlock(u"TXT_USAGE_NEW"));
    std::int16_t is64 = 0;
    FUZZ_REQUIRE(kxutil::kxIsHostWin64(is64).ok());
    g.is64 = is64 != 0;
    utsname names{};
    FUZZ_REQUIRE(uname(&names) == 0);
    g.unameText = Scrubbed(unicode::Utf8ToUtf16(std::string(names.sysname) + " " + names.release +
                                                " " + names.machine));
    BindScratchOsRelease();
    if (g.osRelease < 0)
        std::fprintf(stderr, "report_fill: no mount namespace of its own (not root?): the OS "
                             "name stays this machine's, unfuzzed\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Reader input(data, size);
    const auto flags = input.Take<std::uint8_t>();
    const auto nameLength = input.Take<std::uint8_t>();

    kxutil::MemoryStatusRecord memory{};
    memory.dwLength = sizeof memory;
    memory.dwMemoryLoad = input.Take<std::uint32_t>();
    memory.ullTotalPhys = TakeDouble(input);
    memory.ullAvailPhys = TakeDouble(input);
    memory.ullTotalPageFile = TakeDouble(input);
    memory.ullAvailPageFile = TakeDouble(input);
    memory.ullTotalVirtual = TakeDouble(input);
    memory.ullAvailVirtual = TakeDouble(input);
    memory.ullAvailExtendedVirtual = TakeDouble(input);
    // Flag 0x20: the total is a memory cgroup's limit, the machine's own total another double.
    memory.ullMachineTotalPhys = flags & 0x20 ? memory.ullAvailExtendedVirtual : 0;

    kxutil::SystemInfoRecord system{};
    system.wProcessorArchitecture = input.Take<std::uint16_t>();
    system.wReserved = input.Take<std::uint16_t>();
    system.wProcessorLevel = input.Take<std::uint16_t>();
    system.wProcessorRevision = input.Take<std::uint16_t>();
    system.dwPageSize = input.Take<std::uint32_t>();
    system.dwAllocationGranularity = input.Take<std::uint32_t>();
    system.dwNumberOfProcessors = input.Take<std::uint32_t>();
    system.dwProcessorType = input.Take<std::uint32_t>();
    system.lpMinimumApplicationAddress = static_cast<std::uintptr_t>(input.Take<std::uint64_t>());
    system.lpMaximumApplicationAddress = static_cast<std::uintptr_t>(input.Take<std::uint64_t>());
    system.dwActiveProcessorMask = static_cast<std::uintptr_t>(input.Take<std::uint64_t>());

    const std::string_view nameBytes = input.TakeBytes(nameLength);
    const std::u16string templateText = DecodeTemplate(input.Rest());

    // The OS name: this input's, where the scratch os-release is in place.
    const bool fuzzedName = g.osRelease >= 0 && (flags & 1);
    const bool rawOsRelease = flags & 2;
    std::string pretty = "Debian GNU/Linux 12 (bookworm)";
    if (g.osRelease >= 0) {
        if (fuzzedName && rawOsRelease) {
            WriteOsRelease(nameBytes);
        } else {
            if (fuzzedName)
                pretty = DecodeName(nameBytes);
            std::string quoted;
            for (char c : pretty) {
                if (c == '"' || c == '\\' || c == '$' || c == '`')
                    quoted += '\\';
                quoted += c;
            }
            WriteOsRelease("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"" + quoted +
                           "\"\nID=debian\n");
        }
    }
    std::u16string osName;
    FUZZ_REQUIRE(kxutil::kxGetHostOSFullName(0, -1, osName).ok());
    FUZZ_REQUIRE(Scrubbed(osName) == osName);
    FUZZ_REQUIRE(
        osName.size() >= g.unameText.size() &&
        osName.compare(osName.size() - g.unameText.size(), std::u16string::npos, g.unameText) == 0);
    if (g.osRelease >= 0 && !(fuzzedName && rawOsRelease))
        FUZZ_REQUIRE(osName == (pretty.empty() ? g.unameText
                                               : Scrubbed(unicode::Utf8ToUtf16(pretty)) + u", " +
                                                     g.unameText));

    CheckFill(templateText, system, memory, osName);

    // The name goes in last and is not searched again.
    const Outcome nameFirst = Actual(u"%32%01", system, memory, osName);
    if (!nameFirst.threw)
        FUZZ_REQUIRE(nameFirst.text == osName + Widen(fuzz::SignedDecimal(static_cast<std::int32_t>(
                                                    memory.dwMemoryLoad))));

    const unsigned pick = (flags >> 2) & 7;
    if (pick < g.realTemplates.size()) {
        const Outcome real = CheckFill(g.realTemplates[pick], system, memory, osName);
        if (!real.threw && osName.find(u'%') == std::u16string::npos)
            FUZZ_REQUIRE(!HasPlaceholder(real.text));
    }
    return 0;
}

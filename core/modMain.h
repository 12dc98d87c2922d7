// The shared core: start-up, command line, report assembly, processor
// description and report delivery, the same in both executables.
#pragma once

#include "kxutil.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace modMain {

enum ReportKind : std::int32_t {
    kAll = 0,
    kVersion = 1,
    kMemoryStat = 2,
    kMemoryInfo = 3,
    kProcessorInfo = 4,
    kLightInfo = 5,
    kLightInfo2 = 6,
};

enum OutputMode : std::int32_t {
    kScreen = 0,
    kAnsiFile = 1,
    kUnicodeFile = 2,
    kEventLog = 3,
};

struct TextBlockStore {
    std::u16string infoAll, infoVersion, lightInfo, lightInfo2, memoryInfo, memoryStat,
        processorInfo, usageNew;
};

struct ProgramIdentity {
    std::u16string title;
    std::int16_t major, minor, revision;
    std::u16string baseName;
    std::u16string legalCopyright;
};

// A failed kxutil call (or a failed floating-point step) on its way to the
// one place that reports it and ends the program.
struct RunTimeError {
    std::string operation;
    std::int32_t status;
    std::string detail;
};

enum class Action { kAbout, kUsage, kReport };

struct Command {
    Action action;
    ReportKind kind;
    OutputMode mode;
};

// Start-up
void Main();
void LoadTextBlocks();
std::u16string LoadTextBlock(std::u16string_view name);
const TextBlockStore &TextBlocks();
ProgramIdentity ReadProgramIdentity();
void Check(const kxutil::Status &status, const char *operation);
std::u16string RunTimeErrorLine(const RunTimeError &error);

// Command line
std::u16string NormaliseArgumentText(std::u16string_view text);
Command InterpretCommand(std::u16string_view normalised);
void DispatchCommandLine();

// Report assembly
void ReplacePlaceholder(std::u16string &text, std::u16string_view placeholder,
                        std::u16string_view value);
// Total page file less the available: a RunTimeError where it is no finite number.
double SwapInUse(const kxutil::MemoryStatusRecord &memory);
void FillReport(std::u16string &text, const kxutil::SystemInfoRecord &system,
                const kxutil::MemoryStatusRecord &memory, bool hostIs64,
                std::u16string_view systemName);
// The facts of the table (facts.h) as exact values, for the event log, each
// reported where the template holds its placeholder.
std::vector<kxutil::LogField> ReportFields(ReportKind kind, std::u16string_view reportTemplate,
                                           const kxutil::SystemInfoRecord &system,
                                           const kxutil::MemoryStatusRecord &memory, bool hostIs64,
                                           std::u16string_view systemName);
void BuildReport(ReportKind kind, OutputMode mode);
void DescribeProcessor(std::u16string &text, std::uint16_t architecture, std::uint16_t level,
                       std::uint16_t revision);

// Delivery
std::u16string VersionText(const ProgramIdentity &identity); // "1.04.0112"
std::u16string EventLogText(const ProgramIdentity &identity, std::u16string_view report);
std::u16string ReportFileText(const ProgramIdentity &identity, std::u16string_view dateTime,
                              std::u16string_view report);
std::string EncodeReportFile(std::u16string_view fileText, OutputMode mode);
// The fields go with the event-log entry only.
void DeliverReport(std::u16string text, OutputMode mode,
                   const std::vector<kxutil::LogField> &fields = {});
void WriteReportFile(std::u16string text, OutputMode mode);

} // namespace modMain

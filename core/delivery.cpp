#include "FrontEnd.h"
#include "modMain.h"

namespace modMain {

std::u16string VersionText(const ProgramIdentity &identity) {
    std::u16string version;
    Check(kxutil::kxFormatVersion(identity.major, identity.minor, identity.revision, version),
          "formatting the version");
    return version;
}

namespace {

// The header is the one step that may fail quietly: the file then holds the
// bare report.
std::u16string WithFileHeader(std::u16string report) {
    try {
        const ProgramIdentity identity = ReadProgramIdentity();
        std::u16string dateTime;
        Check(kxutil::kxFormatGeneralDateNow(dateTime), "reading the date and time");
        return ReportFileText(identity, dateTime, report);
    } catch (const RunTimeError &) {
        return report;
    }
}

void SendToEventLog(std::u16string_view report, const std::vector<kxutil::LogField> &fields) {
    const std::u16string text = EventLogText(ReadProgramIdentity(), report);
    std::int32_t unused = 0;
    Check(kxutil::kxLogInfo(text, fields, unused), "writing to the system journal");
}

} // namespace

std::u16string EventLogText(const ProgramIdentity &identity, std::u16string_view report) {
    return identity.title + u" " + VersionText(identity) + u"\r\n\r\n" + std::u16string(report);
}

std::u16string ReportFileText(const ProgramIdentity &identity, std::u16string_view dateTime,
                              std::u16string_view report) {
    return identity.title + u" " + VersionText(identity) + u"\r\n" + u"Сгенерировано " +
           std::u16string(dateTime) + u"\r\n\r\n" + std::u16string(report);
}

// Mode 1: the text in the ANSI code page. Mode 2: U+FEFF and the text in
// UTF-16LE. Neither gets a terminator or a final line break.
std::string EncodeReportFile(std::u16string_view fileText, OutputMode mode) {
    std::string bytes;
    if (mode == kAnsiFile) {
        Check(kxutil::kxStrConvB(fileText, bytes),
              "converting the text to the locale's character set");
    } else if (mode == kUnicodeFile) {
        bytes.resize(2 + fileText.size() * 2);
        bytes[0] = '\xFF';
        bytes[1] = '\xFE';
        for (std::size_t i = 0; i < fileText.size(); ++i) {
            bytes[2 + 2 * i] = static_cast<char>(fileText[i] & 0xFF);
            bytes[3 + 2 * i] = static_cast<char>(fileText[i] >> 8);
        }
    }
    return bytes;
}

// Writes "<base name>.TXT" in the current directory. The old report is
// replaced whole or, on any failure, left exactly as it was, and the failure
// is a run-time error like any other.
void WriteReportFile(std::u16string text, OutputMode mode) {
    const std::string bytes = EncodeReportFile(WithFileHeader(std::move(text)), mode);
    const std::u16string fileName = ReadProgramIdentity().baseName + u".TXT";
    Check(kxutil::kxReplaceFile(fileName, bytes), "writing the report file");
}

void DeliverReport(std::u16string text, OutputMode mode,
                   const std::vector<kxutil::LogField> &fields) {
    switch (static_cast<std::uint32_t>(mode)) {
    case kScreen: FrontEnd::ShowReport(std::move(text)); return;
    case kAnsiFile:
    case kUnicodeFile: WriteReportFile(std::move(text), mode); return;
    case kEventLog: SendToEventLog(text, fields); return;
    default: return;
    }
}

} // namespace modMain

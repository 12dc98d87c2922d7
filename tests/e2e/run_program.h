// Runs a built executable as a user would and captures what it leaves.
#pragma once

#include <string>
#include <vector>

namespace e2e {

// The program under test: the one built beside the tests, or the one that
// ORBELLE_E2E_PROGRAM names (a cross-built OrbelleC, run by make cross under
// the emulator that ORBELLE_E2E_EMULATOR names, words separated by blanks).
std::string ProgramPath();

struct Invocation {
    std::vector<std::string> arguments;
    std::string locale = "C.UTF-8";
    std::string directory = ".";
    std::string program = ProgramPath();
    std::vector<std::string> prefix;      // e.g. setpriv … before the program
    std::vector<std::string> environment; // NAME=value beyond the locale and PATH
    enum class StdOut { kPipe, kClosed, kDevFull, kReaderGone } stdOut = StdOut::kPipe;
};

struct Result {
    int exitStatus = -1; // -1 unless the program exited normally
    int signal = 0;
    std::string out, err;
};

Result Execute(const Invocation &run);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
// A fresh empty directory, removed with everything in it at the end of the test.
std::string TemporaryDirectory();
std::vector<std::string> DirectoryEntries(const std::string &path);
std::vector<std::string> SplitLines(const std::string &text); // at CR LF
// Standard output's lines, at LF; a CR in it fails the test.
std::vector<std::string> ScreenLines(const std::string &out);
// The line ends of the report files (CR LF) and of standard output (LF).
std::string CrLfToLf(std::string text);
std::string LfToCrLf(std::string text);
// Converts bytes between two charsets with iconv; unconvertible input fails the test.
std::string Recode(const std::string &bytes, const char *from, const char *to);

} // namespace e2e

#include "run_program.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iconv.h>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {
namespace {

std::vector<std::string> g_temporaryDirectories;

struct CleanUp : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo &) override {
        for (const std::string &directory : g_temporaryDirectories) {
            std::error_code ignored;
            std::filesystem::remove_all(directory, ignored);
        }
        g_temporaryDirectories.clear();
    }
};

const bool g_cleanUpRegistered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new CleanUp);
    return true;
}();

std::vector<std::string> EmulatorWords() {
    std::vector<std::string> words;
    std::istringstream emulator(
        std::getenv("ORBELLE_E2E_EMULATOR") ? std::getenv("ORBELLE_E2E_EMULATOR") : "");
    for (std::string word; emulator >> word;)
        words.push_back(word);
    return words;
}

[[noreturn]] void ExecChild(const Invocation &run, int outFd, int errFd) {
    if (run.stdOut == Invocation::StdOut::kClosed) {
        close(STDOUT_FILENO);
    } else if (run.stdOut == Invocation::StdOut::kDevFull) {
        const int full = open("/dev/full", O_WRONLY);
        dup2(full, STDOUT_FILENO);
    } else {
        dup2(outFd, STDOUT_FILENO);
    }
    dup2(errFd, STDERR_FILENO);
    if (chdir(run.directory.c_str()) != 0)
        _exit(126);
    std::vector<std::string> words = run.prefix;
    for (const std::string &word : EmulatorWords())
        words.push_back(word);
    words.push_back(run.program);
    words.insert(words.end(), run.arguments.begin(), run.arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::string locale = "LC_ALL=" + run.locale;
    std::string locales = std::string("LOCPATH=") + TEST_LOCALE_DIR;
    std::string path = "PATH=/usr/bin:/bin:/usr/sbin:/sbin";
    std::vector<std::string> settings = run.environment;
    std::vector<char *> environment = {locale.data(), locales.data(), path.data()};
    for (std::string &setting : settings)
        environment.push_back(setting.data());
    environment.push_back(nullptr);
    signal(SIGPIPE, SIG_DFL);
    execve(argv[0], argv.data(), environment.data());
    _exit(127);
}

void Drain(int outFd, int errFd, Result &result) {
    pollfd fds[] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string *sinks[] = {&result.out, &result.err};
    int open = (outFd >= 0) + (errFd >= 0);
    while (open > 0) {
        if (poll(fds, 2, 30000) <= 0) {
            ADD_FAILURE() << "the program produced nothing for 30 s";
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[65536];
            const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(count));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

} // namespace

std::string ProgramPath() {
    const char *crossBuilt = std::getenv("ORBELLE_E2E_PROGRAM");
    return crossBuilt ? crossBuilt : ORBELLEC_PATH;
}

Result Execute(const Invocation &run) {
    Result result;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return result;
    }
    const pid_t child = fork();
    if (child == 0)
        ExecChild(run, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    if (run.stdOut == Invocation::StdOut::kReaderGone)
        close(out[0]);
    Drain(run.stdOut == Invocation::StdOut::kReaderGone ? -1 : out[0], err[0], result);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::string ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orbelle-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed";
    g_temporaryDirectories.push_back(pattern);
    return pattern;
}

std::vector<std::string> DirectoryEntries(const std::string &path) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::vector<std::string> SplitAt(const std::string &text, std::string_view separator) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;
         from = at + separator.size())
        lines.push_back(text.substr(from, at - from));
    lines.push_back(text.substr(from));
    return lines;
}

} // namespace

std::vector<std::string> SplitLines(const std::string &text) { return SplitAt(text, "\r\n"); }

std::vector<std::string> ScreenLines(const std::string &out) {
    EXPECT_EQ(out.find('\r'), std::string::npos) << "a CR on standard output";
    return SplitAt(out, "\n");
}

std::string CrLfToLf(std::string text) {
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; ++at)
        text.erase(at, 1);
    return text;
}

std::string LfToCrLf(std::string text) {
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, 1, '\r');
    return text;
}

std::string Recode(const std::string &bytes, const char *from, const char *to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "no conversion " << from << " -> " << to;
        return {};
    }
    std::string output(bytes.size() * 4 + 4, '\0');
    char *in = const_cast<char *>(bytes.data());
    char *out = output.data();
    std::size_t inLeft = bytes.size(), outLeft = output.size();
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1))
        ADD_FAILURE() << "conversion " << from << " -> " << to << " failed";
    iconv_close(cd);
    output.resize(output.size() - outLeft);
    return output;
}

} // namespace e2e

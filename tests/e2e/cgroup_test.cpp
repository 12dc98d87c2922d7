// Inside a memory cgroup with a limit, the limit is the physical memory.
#include "run_program.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TestCgroup {
    std::string directory;
    std::string limitFile;
};

// A new child of this process's memory cgroup (v1), or of the unified
// hierarchy's root (v2, where a populated inner cgroup cannot have children
// with controllers).
TestCgroup MakeCgroup() {
    std::ifstream self("/proc/self/cgroup");
    const std::string name = "/orbelle-test-" + std::to_string(getpid());
    for (std::string line; std::getline(self, line);) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        const std::string controllers = line.substr(first + 1, second - first - 1);
        if ((',' + controllers + ',').find(",memory,") != std::string::npos) {
            const std::string parent = "/sys/fs/cgroup/memory" + line.substr(second + 1);
            return {(parent == "/sys/fs/cgroup/memory/" ? "/sys/fs/cgroup/memory" : parent) + name,
                    "memory.limit_in_bytes"};
        }
    }
    std::ofstream("/sys/fs/cgroup/cgroup.subtree_control") << "+memory";
    return {"/sys/fs/cgroup" + name, "memory.max"};
}

} // namespace

// Runs the program in the cgroup as it is, or with the memory controller
// mounted off its usual place (which is hidden) and a mount table of over
// 1 MiB, made of mounts with long paths, in a private mount namespace.
std::string Launcher(const TestCgroup &cgroup, bool elsewhere) {
    const std::string join = "echo $$ > " + cgroup.directory + "/cgroup.procs && ";
    if (!elsewhere)
        return join + "exec \"$0\" \"$@\"";
    const std::string type =
        cgroup.limitFile == "memory.max" ? "-t cgroup2" : "-t cgroup -o memory";
    return join +
           "exec unshare --mount --propagation private sh -c '"
           "w=$(mktemp -d) && mount -t tmpfs w \"$w\" && mkdir \"$w/mem\" && "
           "mount " +
           type +
           " c \"$w/mem\" && mount -t tmpfs h /sys/fs/cgroup && "
           "long=$w/$(head -c 250 /dev/zero | tr \"\\0\" d) && "
           "long=$long/${long##*/}/${long##*/}/${long##*/}/${long##*/}/${long##*/} && "
           "long=$long/${long##*/}/${long##*/}/${long##*/}/${long##*/}/${long##*/} && "
           "long=$long/${long##*/}/${long##*/}/${long##*/}/${long##*/}/${long##*/} && "
           "for i in $(seq 300); do mkdir -p \"$long/$i\" && mount -t tmpfs t \"$long/$i\" "
           "|| exit 125; done; "
           "[ $(wc -c </proc/self/mountinfo) -gt 1048576 ] || exit 125; "
           "exec \"$0\" \"$@\"' \"$0\" \"$@\"";
}

TEST(MemoryCgroup, ALimitBelowTheMachinesMemoryIsThePhysicalMemory) {
    for (const bool elsewhere : {false, true}) {
        SCOPED_TRACE(elsewhere ? "controller mounted elsewhere, mount table over 1 MiB"
                               : "controller at its usual place");
        ASSERT_EQ(geteuid(), 0u) << "making a cgroup needs root";
        // The tightest limit binds: 512 MiB on the parent, 1 GiB on the child.
        const TestCgroup parent = MakeCgroup();
        const TestCgroup cgroup{parent.directory + "/child", parent.limitFile};
        ASSERT_EQ(mkdir(parent.directory.c_str(), 0755), 0) << parent.directory;
        std::ofstream(parent.directory + "/" + parent.limitFile) << (512 << 20);
        std::ofstream(parent.directory + "/cgroup.subtree_control") << "+memory";
        ASSERT_EQ(mkdir(cgroup.directory.c_str(), 0755), 0) << cgroup.directory;
        std::ofstream(cgroup.directory + "/" + cgroup.limitFile) << (1 << 30);
        // At the usual place the mount table, the costliest file, is not read.
        const std::string trace = e2e::TemporaryDirectory() + "/trace";
        e2e::Invocation run{{"/I:LI2"}};
        run.prefix = {"/bin/sh", "-c", Launcher(cgroup, elsewhere)};
        if (!elsewhere)
            run.prefix.insert(run.prefix.begin(),
                              {"/usr/bin/strace", "-f", "-qq", "-etrace=open,openat", "-o", trace});
        run.environment = {"ASAN_OPTIONS=detect_leaks=0"}; // LeakSanitizer cannot run traced
        const e2e::Result result = e2e::Execute(run);
        rmdir(cgroup.directory.c_str());
        rmdir(parent.directory.c_str());

        EXPECT_EQ(result.exitStatus, 0) << result.err;
        const std::vector<std::string> lines = e2e::ScreenLines(result.out);
        ASSERT_EQ(lines.size(), 6u) << result.out;
        EXPECT_EQ(lines[1], "RAM total:  512 MB");
        EXPECT_TRUE(std::regex_match(lines[0], std::regex("RAM free:   [0-9.]+ (MB|KB|bytes)")))
            << lines[0];
        EXPECT_TRUE(elsewhere || e2e::ReadFile(trace).find("mountinfo") == std::string::npos);
    }
}

// What a POSIX system's own layer writes, as stubs: support/posix/ serves
// the rest (process set-up, the program's name, text, files, code pages,
// the kernel's and the system's names). Each system query fails with ENOSYS
// and names itself; the report file is written without the nameless
// temporary file, as on a file system that has none.
//
// A port to a POSIX system copies this file into a folder of its own (as
// support/linux/ is Linux's), adds a branch for it under UNIX in
// support/CMakeLists.txt, and replaces one stub after another. A port to a
// system that is not POSIX starts from kxutil_stub.cpp instead.
#include "kxutil.h"
#include "kxutil_posix_detail.h"

#include <cerrno>

namespace kxutil {
namespace {

Status NotSupported(const char *operation) {
    return {-ENOSYS, std::string(operation) + " is not written for this system yet (stub layer)"};
}

} // namespace

Status posix_detail::RunningImagePath(std::string &) {
    return NotSupported("posix_detail::RunningImagePath");
}

int posix_detail::OpenRunningImage() { return -1; }

int posix_detail::OpenNamelessFile() {
    errno = EOPNOTSUPP;
    return -1;
}

int posix_detail::LinkNamelessFile(int, const char *) {
    errno = EOPNOTSUPP;
    return -1;
}

Status kxGetNativeSystemInfo(SystemInfoRecord &) { return NotSupported("kxGetNativeSystemInfo"); }
Status kxGlobalMemoryStatus(MemoryStatusRecord &) { return NotSupported("kxGlobalMemoryStatus"); }
Status kxLogInfo(std::u16string_view, const std::vector<LogField> &, std::int32_t &) {
    return NotSupported("kxLogInfo");
}

} // namespace kxutil

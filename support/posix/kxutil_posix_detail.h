// What the POSIX kxutil file and each system's own file share.
#pragma once

#include "kxutil.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>

namespace kxutil::posix_detail {

// The failure -error (EIO for no error number) with its detail.
Status Fail(int error, std::string detail);
// The system's words for an error number, in the user's language.
std::string SystemErrorText(int error);
Status LocaleBytesToUtf16(std::string_view bytes, std::u16string &text);
// Converts with iconv; an input sequence the target lacks becomes `replacement`.
Status Iconv(const char *to, const char *from, std::string_view input, const char *replacement,
             bool inputIsUtf8, std::string &output);
// A system file, whole: a regular file only, opened without blocking, at
// most 1 MiB.
Status ReadSmallFile(const char *path, std::string &content);
// Each line of a file of any length, one at a time, until lineFound says so.
Status ForEachLine(const char *path, const std::function<bool(std::string_view)> &lineFound);
// The file name without directory and last extension.
std::string_view BaseNameOf(std::string_view path);
// A file name (bytes) as text, without loss.
std::u16string FileNameToUtf16(std::string_view bytes);
// The base name for the out-of-memory line, taken from a path.
void KeepErrorName(std::string_view path);
// The kernel's names, as uname gives them.
struct Uname {
    std::string sysname, release, machine;
};
Status ReadUname(Uname &result);
// The argument vector kxInitProcess was given.
int ArgumentCount();
char **Arguments();

// --- What each system's own file provides ---
// The running program's file as the system knows it, or as it was started.
Status RunningImagePath(std::string &path);
// The running program's file, opened for reading, to recognise it under
// another name; -1 where it cannot be opened.
int OpenRunningImage();
// A new file in the current directory that has no name, or -1 with errno
// (EOPNOTSUPP where the system or the file system has no such files).
int OpenNamelessFile();
// Gives such a file a name: 0, or -1 with errno.
int LinkNamelessFile(int fd, const char *name);

} // namespace kxutil::posix_detail

#pragma once
// Opening, stat-ing and removing files by full paths of any length. The kernel refuses a
// path of PATH_MAX bytes or more in one call (ENAMETOOLONG); such a path is resolved in
// groups of whole components, each group shorter than PATH_MAX, every group opened
// relative to the directory the one before it reached. Shorter paths take the plain
// system call. Symbolic links in the directory part are followed, as the kernel does for a
// short path; the flags decide for the last component.
//
// Every call returns what its system call returns and leaves errno set on failure.
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace tw {

// As ::open(path, flags, mode).
int openLongPath(const std::string& path, int flags, mode_t mode = 0);
// As ::statx(AT_FDCWD, path, flags, mask, out).
int statxLongPath(const std::string& path, int flags, unsigned int mask, struct statx* out);
// As ::unlink(path).
int unlinkLongPath(const std::string& path);

} // namespace tw

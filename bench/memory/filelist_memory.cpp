// The memory of a FileList of many paths shaped like bench/million.sh's tree at a larger
// scale: DIRS_A x DIRS_B directories of FILES files named f00.txt, f01.txt ... under
// <root>/aNNN/bNN/. Prints the bytes the list holds, bytes per file and the process's peak
// memory, then how long one Cursor takes to read the list back (a check that reading stays
// fast) and checks every path it reads.
// Usage: filelist_memory [DIRS_A [DIRS_B [FILES]]]   (default 1000 100 100: 10,000,000 files)
//        filelist_memory --paths FILE   (the paths of FILE, one a line, e.g. a listing of a
//                                        real tree: `rg --files TREE > FILE`)
#include "select/FileList.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kRoot[] = "/var/tmp/tarnwick-bench/million/tree/";

std::string directoryOf(unsigned a, unsigned b)
{
    char dir[64];
    std::snprintf(dir, sizeof dir, "a%03u/b%02u/", a, b);
    return kRoot + std::string(dir);
}

std::string nameOf(unsigned f)
{
    char name[32];
    std::snprintf(name, sizeof name, "f%02u.txt", f);
    return name;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

// The list of the paths in `file`, read back and checked.
int measurePaths(const char* file)
{
    std::vector<std::string> paths;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        paths.push_back(line);
    size_t pathBytes = 0;
    tw::FileList list;
    for (const std::string& p : paths) {
        list.add(p);
        pathBytes += p.size();
    }
    const size_t bytes = list.memoryBytes();
    std::printf("files %zu (%.1f bytes a path)  memoryBytes %zu  bytes/file %.3f\n", list.size(),
                static_cast<double>(pathBytes) / static_cast<double>(paths.size()), bytes,
                static_cast<double>(bytes) / static_cast<double>(list.size()));
    size_t wrong = 0;
    tw::FileList::Cursor cursor(list);
    for (const std::string& p : paths)
        wrong += cursor.next() != p;
    std::printf("%zu wrong\n", wrong);
    return wrong == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--paths")
        return measurePaths(argv[2]);
    const unsigned dirsA = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 1000;
    const unsigned dirsB = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 100;
    const unsigned files = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 100;
    const long baseline = peakKilobytes();
    tw::FileList list;
    for (unsigned a = 0; a < dirsA; ++a)
        for (unsigned b = 0; b < dirsB; ++b) {
            const std::string dir = directoryOf(a, b);
            for (unsigned f = 0; f < files; ++f)
                list.add(dir, nameOf(f));
        }
    const size_t bytes = list.memoryBytes();
    std::printf("files %zu  memoryBytes %zu (%.1f MB)  bytes/file %.3f  peak RSS %ld KB (baseline %ld KB)\n",
                list.size(), bytes, static_cast<double>(bytes) / 1e6,
                static_cast<double>(bytes) / static_cast<double>(list.size()), peakKilobytes(), baseline);

    const auto start = std::chrono::steady_clock::now();
    size_t checked = 0, wrong = 0;
    tw::FileList::Cursor cursor(list);
    for (unsigned a = 0; a < dirsA; ++a)
        for (unsigned b = 0; b < dirsB; ++b) {
            const std::string dir = directoryOf(a, b);
            for (unsigned f = 0; f < files; ++f, ++checked)
                wrong += cursor.next() != dir + nameOf(f);
        }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("read back %zu paths in %.3f s (with building the expected paths), %zu wrong\n", checked, seconds,
                wrong);
    return wrong == 0 ? 0 : 1;
}

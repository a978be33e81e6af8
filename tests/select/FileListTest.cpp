#include "select/FileList.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

// A path of random shape: no directory, a directory shared with its neighbours, names
// from empty to longer than a block (their lengths take one, two or three bytes).
std::string randomPath(std::mt19937& rng, const std::string& dir)
{
    const size_t lengths[] = {0, 1, 7, 127, 128, 300, 16384, FileList::kBlockBytes + 5};
    const size_t length = lengths[rng() % 8 < 6 ? rng() % 4 : 4 + rng() % 4];
    std::string name(length, static_cast<char>('a' + rng() % 26));
    for (size_t k = 0; k < std::min<size_t>(length, 8); ++k)
        name[rng() % length] = static_cast<char>('a' + rng() % 26);
    return (rng() % 20 == 0 ? std::string() : dir) + name;
}

// The list against a plain vector of its paths: random reads, cursors from random entries,
// a cursor reading on as the list grows, and forgetting what was read.
TEST(FileList, ReadsBackWhatWasAddedAsAPlainListWould)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        FileList list;
        std::vector<std::string> reference;
        size_t forgotten = 0;
        std::optional<FileList::Cursor> follower(std::in_place, list);
        std::string dir = "/d/";
        for (int round = 0; round < 40; ++round) {
            const size_t adds = rng() % 200;
            for (size_t k = 0; k < adds; ++k) {
                if (rng() % 30 == 0)
                    dir = "/d" + std::to_string(rng() % 3) + "/e/";
                const std::string path = randomPath(rng, dir);
                if (rng() % 2)
                    list.add(path);
                else
                    list.add(path.substr(0, path.rfind('/') + 1), path.substr(path.rfind('/') + 1));
                reference.push_back(path);
            }
            ASSERT_EQ(list.size(), reference.size());
            while (!follower->atEnd()) {
                const size_t i = follower->index();
                ASSERT_EQ(follower->next(), reference[i]) << "seed " << seed << " entry " << i;
            }
            for (int probe = 0; probe < 20 && forgotten < reference.size(); ++probe) {
                const size_t i = forgotten + rng() % (reference.size() - forgotten);
                ASSERT_EQ(list.at(i), reference[i]) << "seed " << seed << " entry " << i;
                FileList::Cursor from(list, i);
                for (size_t j = i; j < std::min(reference.size(), i + 70); ++j)
                    ASSERT_EQ(from.next(), reference[j]) << "seed " << seed << " entry " << j;
            }
            if (rng() % 5 == 0) {
                list.forget();
                forgotten = reference.size();
                ASSERT_EQ(list.first(), forgotten);
                follower.emplace(list, forgotten);
            }
        }
    }
}

// A name made from the one before by a random edit, as names in one directory are: a span
// replaced, put in or taken out at any place, so that the bytes shared with the start and
// the end of the name before fall on either side of the limits where the coding changes
// (7, 8, 15, 16), overlap, cover the whole name, or are none; names drawn from three bytes
// (one with the high bit set) so that they repeat.
std::string editedName(std::mt19937& rng, std::string name)
{
    const char bytes[] = {'a', 'b', '\xC3'};
    const size_t spans[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 40};
    auto some = [&](size_t n) {
        std::string s(n, 'a');
        for (char& c : s)
            c = bytes[rng() % 3];
        return s;
    };
    const size_t at = rng() % (name.size() + 1);
    const size_t span = spans[rng() % 10];
    switch (rng() % 5) {
    case 0: // replaced by as many bytes
        name.replace(at, span, some(std::min(span, name.size() - at)));
        break;
    case 1:
        name.insert(at, some(span));
        break;
    case 2:
        name.erase(at, span);
        break;
    case 3: // the same name again, or a new one
        if (rng() % 2)
            name = some(spans[rng() % 10]);
        break;
    default: // longer or shorter at the end only
        name = rng() % 2 ? name + some(span) : name.substr(0, name.size() - std::min(span, name.size()));
    }
    return name;
}

// Names that differ from their neighbours by small edits, read back through cursors from
// every place (a mark, between marks, the end as the list grows) and through at() and an
// IndexReader, and across forget() at any point of the stride.
TEST(FileList, DecodesEveryNameFromTheOneBeforeIt)
{
    for (unsigned seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed);
        FileList list;
        std::vector<std::string> reference;
        size_t forgotten = 0;
        std::string name = "f00.txt", dir = "d/";
        std::optional<FileList::Cursor> follower(std::in_place, list);
        for (int round = 0; round < 30; ++round) {
            for (size_t k = rng() % 150; k > 0; --k) {
                name = editedName(rng, name);
                if (rng() % 25 == 0)
                    dir = rng() % 4 == 0 ? std::string() : "d" + std::to_string(rng() % 3) + "/" + name + "/";
                list.add(dir, name);
                reference.push_back(dir + name);
            }
            ASSERT_EQ(list.size(), reference.size());
            while (!follower->atEnd()) {
                const size_t i = follower->index();
                ASSERT_EQ(follower->next(), reference[i]) << "seed " << seed << " entry " << i;
            }
            if (rng() % 3 == 0) // a cursor made at the end reads on from the last name
                follower.emplace(list, list.size());
            if (forgotten < reference.size()) {
                FileList::IndexReader read(list);
                const size_t from = forgotten + rng() % (reference.size() - forgotten);
                for (size_t i = from; i < reference.size(); ++i)
                    ASSERT_EQ(read(i), reference[i]) << "seed " << seed << " entry " << i;
                const size_t i = forgotten + rng() % (reference.size() - forgotten);
                ASSERT_EQ(read(i), reference[i]) << "seed " << seed << " entry " << i;
                ASSERT_EQ(list.at(i), reference[i]) << "seed " << seed << " entry " << i;
            }
            if (rng() % 6 == 0) {
                list.forget();
                forgotten = reference.size();
                follower.emplace(list, forgotten);
            }
        }
    }
}

// A tree of small files costs little more than what sets each name apart from the one
// before: under three bytes a file here, where a path each would be fifty.
TEST(FileList, KeepsEachDirectoryOnce)
{
    FileList list;
    for (int d = 0; d < 1000; ++d)
        for (int f = 0; f < 100; ++f)
            list.add("/var/tmp/some/longer/start/directory/d" + std::to_string(d) + "/",
                     "f" + std::to_string(f) + ".txt");
    EXPECT_LT(list.memoryBytes(), 100000 * 3);
    EXPECT_EQ(list.at(54321), "/var/tmp/some/longer/start/directory/d543/f21.txt");
    list.forget();
    EXPECT_LT(list.memoryBytes(), 1000u);
    EXPECT_EQ(list.size(), 100000u);
}

} // namespace
} // namespace tw

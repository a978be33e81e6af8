#pragma once
// Archives written by the tests with libarchive's writer.
#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tw::test {

enum class Kind { File, Dir, Symlink, Hardlink };

struct Member {
    std::string name{};
    std::string data{};
    Kind kind = Kind::File;
    std::string target{};    // links
    time_t mtime = 1600000000; // 2020-09-13
    int64_t zerosBefore = 0;   // this many zero bytes come before `data`
};

// Writes an archive of `format` ("zip", "zip-stored", "tar", "tar.gz", "7z") holding
// `members`; `options` goes to archive_write_set_options, with the passphrase "pw".
inline bool writeArchive(const std::string& path, const std::string& format, const std::vector<Member>& members,
                  const char* options = nullptr)
{
    archive* a = archive_write_new();
    if (format == "zip" || format == "zip-stored") {
        archive_write_set_format_zip(a);
        archive_write_set_options(a, format == "zip" ? "zip:compression-level=1" : "zip:compression=store");
    } else if (format == "7z") {
        archive_write_set_format_7zip(a);
    } else {
        archive_write_set_format_pax_restricted(a);
        if (format == "tar.gz")
            archive_write_add_filter_gzip(a);
    }
    bool ok = true;
    if (options) {
        ok = archive_write_set_options(a, options) == ARCHIVE_OK && archive_write_set_passphrase(a, "pw") == ARCHIVE_OK;
    }
    ok = ok && archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
    const std::string zeros(1 << 20, '\0');
    for (const Member& m : members) {
        if (!ok)
            break;
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, m.name.c_str());
        archive_entry_set_mtime(e, m.mtime, 0);
        archive_entry_set_perm(e, 0644);
        switch (m.kind) {
        case Kind::File:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_size(e, m.zerosBefore + static_cast<int64_t>(m.data.size()));
            break;
        case Kind::Dir:
            archive_entry_set_filetype(e, AE_IFDIR);
            break;
        case Kind::Symlink:
            archive_entry_set_filetype(e, AE_IFLNK);
            archive_entry_set_symlink(e, m.target.c_str());
            break;
        case Kind::Hardlink:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_hardlink(e, m.target.c_str());
            archive_entry_set_size(e, 0);
            break;
        }
        // A warning (a name that is not valid in the locale's character set) still writes it.
        const int rc = archive_write_header(a, e);
        ok = rc == ARCHIVE_OK || rc == ARCHIVE_WARN;
        for (int64_t left = m.zerosBefore; ok && left > 0;) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size())));
            ok = archive_write_data(a, zeros.data(), n) == static_cast<la_ssize_t>(n);
            left -= static_cast<int64_t>(n);
        }
        if (ok && m.kind == Kind::File && !m.data.empty())
            ok = archive_write_data(a, m.data.data(), m.data.size()) == static_cast<la_ssize_t>(m.data.size());
        archive_entry_free(e);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

} // namespace tw::test

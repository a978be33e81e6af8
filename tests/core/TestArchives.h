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

// A stored piece of a sparse member: `data` at `offset`; everything else is a hole.
struct SparsePiece {
    int64_t offset = 0;
    std::string data{};
};

namespace detail {

inline std::string tarOctal(int64_t value, size_t width)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + (value & 7)));
        value >>= 3;
    } while (value > 0);
    return std::string(width - 1 - digits.size(), '0') + digits;
}

inline std::string tarHeader(const std::string& name, char type, int64_t size)
{
    std::string h(512, '\0');
    h.replace(0, std::min<size_t>(name.size(), 100), name.substr(0, 100));
    h.replace(100, 7, "0000644");
    h.replace(108, 7, "0000000");
    h.replace(116, 7, "0000000");
    h.replace(124, 11, tarOctal(size, 12));
    h.replace(136, 11, tarOctal(1600000000, 12));
    h.replace(148, 8, "        ");
    h[156] = type;
    h.replace(257, 6, std::string("ustar\0", 6));
    h.replace(263, 2, "00");
    unsigned sum = 0;
    for (char c : h)
        sum += static_cast<unsigned char>(c);
    h.replace(148, 6, tarOctal(sum, 7));
    h[154] = '\0';
    return h;
}

inline void padTo512(std::string& s)
{
    s.append((512 - s.size() % 512) % 512, '\0');
}

// "LEN key=value\n", LEN counting the whole record.
inline std::string paxRecord(const std::string& key, const std::string& value)
{
    const std::string body = " " + key + "=" + value + "\n";
    size_t len = body.size() + 1;
    while (std::to_string(len).size() + body.size() != len)
        ++len;
    return std::to_string(len) + body;
}

} // namespace detail

// A tar holding one GNU sparse member (pax format 1.0) named `name` that claims
// `realSize` bytes but stores only `pieces` (in order, not overlapping): a file of a few
// kilobytes can stand for a petabyte of zeros.
inline std::string sparseTar(const std::string& name, int64_t realSize, const std::vector<SparsePiece>& pieces)
{
    using namespace detail;
    std::string pax = paxRecord("GNU.sparse.major", "1") + paxRecord("GNU.sparse.minor", "0") +
                      paxRecord("GNU.sparse.name", name) + paxRecord("GNU.sparse.realsize", std::to_string(realSize));
    std::string map = std::to_string(pieces.size()) + "\n";
    std::string data;
    for (const SparsePiece& p : pieces) {
        map += std::to_string(p.offset) + "\n" + std::to_string(p.data.size()) + "\n";
        data += p.data;
    }
    padTo512(map);
    std::string out = tarHeader("./PaxHeaders/" + name, 'x', static_cast<int64_t>(pax.size()));
    padTo512(pax);
    out += pax;
    out += tarHeader("./GNUSparseFile.0/" + name, '0', static_cast<int64_t>(map.size() + data.size()));
    out += map;
    padTo512(data);
    out += data;
    out.append(1024, '\0');
    return out;
}

// The bytes a sparse member stands for (for small ones only).
inline std::string sparseBytes(int64_t realSize, const std::vector<SparsePiece>& pieces)
{
    std::string out(static_cast<size_t>(realSize), '\0');
    for (const SparsePiece& p : pieces)
        out.replace(static_cast<size_t>(p.offset), p.data.size(), p.data);
    return out;
}

} // namespace tw::test

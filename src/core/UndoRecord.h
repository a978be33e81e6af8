#pragma once
// The record of one replace run in the undo history: "<dataDir>undo/<run>.rec", a text
// file of tab-separated lines (bytes below 0x20, 0x7F and "%" written as %XX):
//   TWUNDO  1
//   RUN     started (file time)  search text  replace text
//   FILE    n  path  copy name  copy offset  copy length  copy device  copy inode
//           copy last-write (0: not checked)  device  inode  size  SHA-256 of the content
//   DONE    n  size after the rewrite  last-write after the rewrite
//   UNDONE  when it was taken back
//   COPIES  copies the run made in the history  their bytes (written when the run ends)
// Every line ends with a tab and the first 16 hex digits of the SHA-256 of the text before
// it, so a line cut short or damaged is never read as valid.
// A FILE line is written before its original is rewritten, its DONE line once the new
// content and the kept copy are durable: only a file with both may ever be restored.
// The record is read as hostile: a line that does not parse is skipped and named.
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

struct UndoFileRecord {
    int index = 0;              // n: unique within the run
    std::string path;           // the original, absolute
    std::string copyName;       // its unchanged copy: a plain name in the undo directory
    int64_t copyOffset = 0;     // the copy is bytes [copyOffset, copyOffset + copyLength)
    int64_t copyLength = 0;
    uint64_t copyDevice = 0, copyInode = 0; // the copy file's identity
    FileTime copyLastWrite = 0; // a linked backup's last-write time; 0 for a kept safety copy
    uint64_t device = 0, inode = 0; // the original's identity
    int64_t size = 0;           // the size of the content the run wrote
    std::string sha256;         // its SHA-256, 64 lower-case hex digits
    bool complete = false;      // a DONE line was read
    int64_t sizeAfter = -1;
    FileTime lastWriteAfter = 0;
};

struct UndoRunRecord {
    std::string name;           // the record's base name ("r000012"), the run's copies start with it
    uint64_t sequence = 0;      // from the name: higher is newer
    FileTime started = 0;
    std::string search, replace;
    bool takenBack = false;
    std::vector<UndoFileRecord> files;
};

std::string undoHeaderLines(FileTime started, const std::string& search, const std::string& replace);
std::string undoFileLine(const UndoFileRecord& file);
std::string undoDoneLine(int index, int64_t sizeAfter, FileTime lastWriteAfter);
std::string undoTakenBackLine(FileTime when);
// The run's summary, written when it ends: how many copies it made and the bytes they
// hold. It lets the next runs count the history without reading every file line.
std::string undoCopiesLine(int64_t count, int64_t bytes);
// The last intact summary line of a record's text; false when there is none (a run that
// did not end, or a record written before summaries).
bool findUndoCopiesLine(const std::string& text, int64_t* count, int64_t* bytes);

// `total` + `more` for byte counts, held at INT64_MAX instead of overflowing.
inline int64_t addBytes(int64_t total, int64_t more)
{
    return std::min(INT64_MAX - more, total) + more;
}
// Past the last byte of a copy's extent; 0 when its offset and length make none.
inline int64_t extentEnd(int64_t offset, int64_t length)
{
    return offset >= 0 && length >= 0 && length <= INT64_MAX - offset ? offset + length : 0;
}

// Reads a record's text into `run` (its name and sequence are left alone). Each damaged
// line is skipped and described in `damaged`. False when the text is no record at all
// (no header, or no RUN line).
bool parseUndoRecord(const std::string& text, UndoRunRecord* run, std::vector<std::string>* damaged);

} // namespace tw

#pragma once
// The persisted options of a run (display, replace, filters, limits). Plain record;
// the settings store in app/ loads and saves it.
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>

namespace tw {

struct FontDescription {
    int height = -13;
    int weight = 400;
    int italic = 0, underline = 0, strikeOut = 0;
    int pitchAndFamily = 49;
    std::string faceName = "Courier";
    int charSet = 0;
    int quality = 0;

    bool operator==(const FontDescription&) const = default;
};

struct ProgramOptions {
    std::string beforeHit = "<";
    std::string afterHit = ">";
    std::string outputFile;            // empty: no output file
    std::string defaultViewer;         // empty until loaded; then the platform default viewer
    uint32_t stringColor = 255;        // 0x00BBGGRR, red
    uint32_t fileColor = 16711680;     // blue
    int promptMode = 0;                // 0 every hit, 1 once per file, 2 never
    bool displayFileStats = true;
    bool showFilesWithoutHits = false;
    bool showFirstHitLine = true;      // "Show_Files"
    bool displayReplaceString = false;
    bool stopAfterFirstHit = false;    // "One hit"
    FileTime minDate = 0, maxDate = 0; // 0: no bound
    int64_t minSize = 0, maxSize = 0;  // 0: no bound
    int maxItemsSaved = 5;
    bool writeToBackupDir = false;
    bool keepFileTime = false;
    FontDescription contextFont;
    int contextLines = 5;
    int maxRegexSize = 300;            // a freshly built record; loading gives 32767
    int threads = 0;                   // search worker threads; 0: one per core, 1: none besides the run's
    std::string unzipDir;
    bool searchSubdirs = false;
    bool cacheFileList = true;
    bool useIgnoreFiles = false;       // the walk skips what git's ignore files ignore
    bool detectUtf16 = true;           // "Detect UTF-16": files with a UTF-16 byte-order mark are text
    // Archive members expanding beyond either bound are skipped: bytes ("Max Member MB"),
    // and a multiple of the archive file's own size ("Max Member Ratio"); 0: no bound.
    int64_t maxMemberBytes = int64_t(64) << 30;
    int64_t maxMemberRatio = 10000;
    std::string backupPath;
    // "Undo Space": the undo history keeps at most this many bytes; 0 keeps none.
    int64_t undoSpaceBytes = int64_t(1024) << 20;

    bool operator==(const ProgramOptions&) const = default;
};

} // namespace tw

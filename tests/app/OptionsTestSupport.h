#pragma once
// Helpers shared by the settings tests: field-by-field comparison of option records and
// a record whose every field differs from the defaults.
#include "core/ProgramOptions.h"

#include <gtest/gtest.h>

namespace tw {

inline void expectSameFont(const FontDescription& a, const FontDescription& b)
{
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.weight, b.weight);
    EXPECT_EQ(a.italic, b.italic);
    EXPECT_EQ(a.underline, b.underline);
    EXPECT_EQ(a.strikeOut, b.strikeOut);
    EXPECT_EQ(a.pitchAndFamily, b.pitchAndFamily);
    EXPECT_EQ(a.faceName, b.faceName);
    EXPECT_EQ(a.charSet, b.charSet);
    EXPECT_EQ(a.quality, b.quality);
}

// Compares every field except the context font, which the text form does not carry.
inline void expectSameOptions(const ProgramOptions& a, const ProgramOptions& b)
{
    EXPECT_EQ(a.beforeHit, b.beforeHit);
    EXPECT_EQ(a.afterHit, b.afterHit);
    EXPECT_EQ(a.outputFile, b.outputFile);
    EXPECT_EQ(a.defaultViewer, b.defaultViewer);
    EXPECT_EQ(a.stringColor, b.stringColor);
    EXPECT_EQ(a.fileColor, b.fileColor);
    EXPECT_EQ(a.promptMode, b.promptMode);
    EXPECT_EQ(a.displayFileStats, b.displayFileStats);
    EXPECT_EQ(a.showFilesWithoutHits, b.showFilesWithoutHits);
    EXPECT_EQ(a.showFirstHitLine, b.showFirstHitLine);
    EXPECT_EQ(a.displayReplaceString, b.displayReplaceString);
    EXPECT_EQ(a.stopAfterFirstHit, b.stopAfterFirstHit);
    EXPECT_EQ(a.minDate, b.minDate);
    EXPECT_EQ(a.maxDate, b.maxDate);
    EXPECT_EQ(a.minSize, b.minSize);
    EXPECT_EQ(a.maxSize, b.maxSize);
    EXPECT_EQ(a.maxItemsSaved, b.maxItemsSaved);
    EXPECT_EQ(a.writeToBackupDir, b.writeToBackupDir);
    EXPECT_EQ(a.keepFileTime, b.keepFileTime);
    EXPECT_EQ(a.contextLines, b.contextLines);
    EXPECT_EQ(a.maxRegexSize, b.maxRegexSize);
    EXPECT_EQ(a.unzipDir, b.unzipDir);
    EXPECT_EQ(a.searchSubdirs, b.searchSubdirs);
    EXPECT_EQ(a.cacheFileList, b.cacheFileList);
    EXPECT_EQ(a.backupPath, b.backupPath);
}

// 2001-03-01 00:00:00 and 2001-03-31 23:59:59 as file times.
inline constexpr FileTime kMarch1st2001 = 126278784000000000LL;
inline constexpr FileTime kMarch31st2001EndOfDay = 126305567990000000LL;

inline ProgramOptions changedOptions()
{
    ProgramOptions o;
    o.beforeHit = "[[";
    o.afterHit = "]]";
    o.outputFile = "/tmp/out put.txt";
    o.defaultViewer = "/usr/bin/less";
    o.stringColor = 65280;
    o.fileColor = 4294967295u;
    o.promptMode = 1;
    o.displayFileStats = false;
    o.showFilesWithoutHits = true;
    o.showFirstHitLine = false;
    o.displayReplaceString = true;
    o.stopAfterFirstHit = true;
    o.minDate = kMarch1st2001;
    o.maxDate = kMarch31st2001EndOfDay;
    o.minSize = 1024;
    o.maxSize = 5000000000LL;
    o.maxItemsSaved = 17;
    o.writeToBackupDir = true;
    o.keepFileTime = true;
    o.contextFont.height = -20;
    o.contextFont.weight = 700;
    o.contextFont.italic = 1;
    o.contextFont.faceName = "DejaVu Sans Mono";
    o.contextFont.charSet = 3;
    o.contextFont.quality = 4;
    o.contextLines = 12;
    o.maxRegexSize = 4000;
    o.unzipDir = "/var/tmp/unz/";
    o.searchSubdirs = true;
    o.cacheFileList = false;
    o.backupPath = "/bak/";
    return o;
}

} // namespace tw

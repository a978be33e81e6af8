#include "app/CommandRules.h"
#include "app/ToolbarLayout.h"

#include <gtest/gtest.h>

#include <QDataStream>
#include <QIODevice>

namespace tw {
namespace {

TEST(CommandRules, EnablingFollowsTheRunAndTheFlags)
{
    WindowState idle;
    WindowState idleWithResults;
    idleWithResults.hasResults = true;
    WindowState searching;
    searching.active = ActiveRun::Search;
    searching.hasResults = true;
    WindowState replacing;
    replacing.active = ActiveRun::Replace;
    WindowState previewing;
    previewing.active = ActiveRun::Preview;
    WindowState noReplace;
    noReplace.noReplace = true;
    WindowState regex;
    regex.regularExpression = true;
    WindowState script;
    script.scriptSearch = true;
    WindowState touching;
    touching.active = ActiveRun::Touch;
    WindowState onHit;
    onHit.currentIsHitLine = true;
    onHit.active = ActiveRun::Search;

    const struct {
        int id;
        const WindowState& state;
        bool enabled;
    } cases[] = {
        {kCmdSearch, idle, true},
        {kCmdSearch, searching, true}, // the stop button of its own run
        {kCmdSearch, replacing, false},
        {kCmdReplace, replacing, true},
        {kCmdReplace, searching, false},
        {kCmdReplace, noReplace, false},
        {kCmdPreviewReplace, idle, true},
        {kCmdPreviewReplace, noReplace, false},
        {kCmdPreviewReplace, replacing, false},
        {kCmdPreviewReplace, searching, false},
        {kCmdPreviewReplace, previewing, true}, // its own Stop
        {kCmdReplace, previewing, true}, // the Replace button stops a preview
        {kCmdSearch, previewing, false},
        {kCmdUndoReplace, idle, true},
        {kCmdUndoReplace, replacing, false},
        {kCmdExit, searching, false},
        {kCmdCopyResults, idle, false},
        {kCmdCopyResults, idleWithResults, true},
        {kCmdCopyResults, searching, false},
        {kCmdViewHtml, idleWithResults, true},
        {kCmdWholeWord, regex, false},
        {kCmdIgnoreWhitespace, regex, false},
        {kCmdCaseSensitive, regex, true},
        {kCmdCaseSensitive, script, false},
        {kCmdRegularExpression, script, false},
        {kCmdSearchSubdirs, script, true},
        {kCmdSearchZips, searching, false},
        {kCmdCustomizeToolbar, searching, false},
        {kCmdScript, script, true},
        {kCmdScript, replacing, false},
        {kCmdViewContext, onHit, true}, // also during a run
        {kCmdOpenDefaultViewer, idleWithResults, false}, // no viewer set
        {kCmdTouch, idle, true},
        {kCmdTouch, touching, true}, // its own Stop
        {kCmdTouch, searching, false},
        {kCmdFileOperations, idleWithResults, true},
        {kCmdFileOperations, idle, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandEnabled(c.id, c.state), c.enabled) << c.id;
}

TEST(ToolbarLayout, RoundTripsAndRefusesWhatItDidNotWrite)
{
    const auto known = [](int id) { return id == kCmdSearch || id == kCmdReplace || id == kCmdOptions; };
    const ToolbarLayout layout{{kCmdSearch, kToolbarSeparator, kCmdReplace}, QByteArray("state\0bytes", 11)};
    const QByteArray blob = encodeToolbarLayout(layout);
    ASSERT_EQ(decodeToolbarLayout(blob, known), layout);

    // Unknown and repeated commands are dropped, and separators tidied.
    ToolbarLayout messy{{kToolbarSeparator, kCmdSearch, 12345, kToolbarSeparator, kToolbarSeparator, kCmdSearch,
                         kCmdOptions, kToolbarSeparator},
                        {}};
    const auto tidied = decodeToolbarLayout(encodeToolbarLayout(messy), known);
    ASSERT_TRUE(tidied);
    EXPECT_EQ(tidied->items, (std::vector<int>{kCmdSearch, kToolbarSeparator, kCmdOptions}));

    // Every truncation, a flipped magic, trailing bytes, a huge count and a huge state
    // length are refused rather than read past their end.
    for (qsizetype n = 0; n < blob.size(); ++n)
        EXPECT_FALSE(decodeToolbarLayout(blob.left(n), known)) << n;
    QByteArray bad = blob;
    bad[0] = 'X';
    EXPECT_FALSE(decodeToolbarLayout(bad, known));
    EXPECT_FALSE(decodeToolbarLayout(blob + QByteArray(1, '\0'), known));
    for (const auto& [count, stateBytes] : {std::pair<quint16, quint32>{60000, 0}, {0, 0x7fffffff}}) {
        QByteArray forged;
        QDataStream out(&forged, QIODevice::WriteOnly);
        out << quint32(0x54575442) << quint8(1) << count << stateBytes;
        EXPECT_FALSE(decodeToolbarLayout(forged, known));
    }
}

} // namespace
} // namespace tw

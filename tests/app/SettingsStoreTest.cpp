#include "app/SettingsStore.h"

#include "OptionsTestSupport.h"
#include "TestUtil.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace tw {
namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString file() const { return m_dir.filePath(QStringLiteral("TW32.conf")); }

    // Direct access to the same file, to plant or inspect raw values.
    QSettings raw() const { return QSettings(file(), QSettings::IniFormat); }

    void writeFile(const QByteArray& content) const
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QTemporaryDir m_dir;
};

TEST_F(SettingsStoreTest, EmptyStoreGivesDefaults)
{
    SettingsStore store(file());
    ProgramOptions loaded;
    store.loadOptions(loaded);

    ProgramOptions expected;
    expected.maxRegexSize = 32767;
    expected.defaultViewer = "xdg-open";
    std::string temp = std::filesystem::temp_directory_path().string();
    if (temp.back() != '/')
        temp += '/';
    expected.unzipDir = temp;
    expectSameOptions(loaded, expected);
    expectSameFont(loaded.contextFont, FontDescription());

    MainWindowSettings values;
    store.loadMainWindow(values);
    EXPECT_EQ(values.inputs.searchText, "");
    EXPECT_EQ(values.inputs.path, "");
    EXPECT_FALSE(values.inputs.caseSensitive);
    EXPECT_TRUE(values.inputs.searchZips);
    EXPECT_EQ(values.inputs.ignoreWhitespaceMask, " \\t\\r\\n");
    EXPECT_EQ(values.inputs.ignoreWhitespaceMask.size(), 7u);
    EXPECT_EQ(values.zipMask, "*.zip");
    EXPECT_EQ(values.zipFileMask, "");
    EXPECT_EQ(values.maxDisplayChars, 512);
    EXPECT_FALSE(values.noReplace);
    EXPECT_FALSE(values.quietMode);
    EXPECT_TRUE(values.flatToolbar);
    EXPECT_TRUE(store.loadWindowRect("Window Position").isEmpty());
}

TEST(SettingsStoreLocation, UserStoreIsTheApplicationsConfFile)
{
    const SettingsStore store;
    EXPECT_TRUE(store.fileName().endsWith(QStringLiteral("/Pellworth Software Inc./TW32.conf")))
        << store.fileName().toStdString();
    // Where QSettings keeps the application's values, so no saved setting is left behind.
    EXPECT_EQ(store.fileName(), QDir::cleanPath(QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                                          kSettingsOrganization, kSettingsApplication)
                                                    .fileName()));
}

// A settings file that is no regular file is neither read nor written: a FIFO would keep
// the program from starting until someone wrote to it. A link is followed to a regular
// file (kept there, the link stays), never to a FIFO.
TEST_F(SettingsStoreTest, ANameThatIsNoRegularFileDetachesTheStore)
{
    const std::string path = file().toStdString();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::optional<std::string> problem;
    ProgramOptions loaded;
    EXPECT_TRUE(test::returnsWithin(10, path, [&] {
        SettingsStore store(file());
        problem = store.problem();
        store.loadOptions(loaded);
        ProgramOptions changed;
        changed.maxItemsSaved = 7;
        store.saveOptions(changed);
        store.sync();
    }));
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find(path), std::string::npos) << *problem;
    EXPECT_EQ(loaded.maxItemsSaved, ProgramOptions().maxItemsSaved);
    EXPECT_TRUE(std::filesystem::is_fifo(path));

    std::filesystem::remove(path);
    const std::string fifo = m_dir.filePath(QStringLiteral("fifo")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(fifo, path);
    EXPECT_TRUE(test::returnsWithin(10, fifo, [&] { EXPECT_TRUE(SettingsStore(file()).problem().has_value()); }));

    std::filesystem::remove(path);
    const QString target = m_dir.filePath(QStringLiteral("elsewhere.conf"));
    QSettings(target, QSettings::IniFormat).setValue("Options/Max Items Saved", 9);
    std::filesystem::create_symlink(target.toStdString(), path);
    {
        SettingsStore store(file());
        EXPECT_FALSE(store.problem().has_value());
        store.loadOptions(loaded);
        EXPECT_EQ(loaded.maxItemsSaved, 9);
        store.saveLastTab(2);
        store.sync();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    const QSettings after(target, QSettings::IniFormat);
    EXPECT_TRUE(after.contains(QStringLiteral("Options/Max Items Saved")));
    EXPECT_GT(after.allKeys().size(), 1);
    // A regular file, or none yet, is used as always.
    std::filesystem::remove(path);
    EXPECT_FALSE(SettingsStore(file()).problem().has_value());
}

TEST_F(SettingsStoreTest, MaxRegexSizeDefaultsToProcessLimit)
{
    SettingsStore store(file());
    ProgramOptions o;
    store.loadOptions(o, 1234);
    EXPECT_EQ(o.maxRegexSize, 1234);
}

TEST_F(SettingsStoreTest, AbsentValuesKeepTheRecordsValues)
{
    SettingsStore store(file());
    ProgramOptions o = changedOptions();
    store.loadOptions(o);
    ProgramOptions expected = changedOptions();
    expected.maxRegexSize = 32767; // the one value whose default is not the record's
    expectSameOptions(o, expected);
}

TEST_F(SettingsStoreTest, OptionsRoundTrip)
{
    ProgramOptions written = changedOptions();
    written.useIgnoreFiles = true; // not in a script's options block, so only here
    {
        SettingsStore store(file());
        store.saveOptions(written);
        store.sync();
    }
    SettingsStore store(file());
    ProgramOptions read;
    store.loadOptions(read);
    expectSameOptions(read, written);
    expectSameFont(read.contextFont, written.contextFont);
    EXPECT_TRUE(read.useIgnoreFiles);

    // Value types: integers, strings (colours too) and 8-byte blocks.
    QSettings s = raw();
    EXPECT_EQ(s.value("Flags/Prompt_flag").toInt(), 1);
    EXPECT_EQ(s.value("Options/Use Ignore Files").toInt(), 1);
    EXPECT_EQ(s.value("Options/String Color").toString(), QStringLiteral("65280"));
    EXPECT_EQ(s.value("Options/Context Font").toString(),
              QStringLiteral("-20,700,1,0,0,49,DejaVu Sans Mono,3,4"));
    const QByteArray maxSize = s.value("Options/Max Size Filter").toByteArray();
    ASSERT_EQ(maxSize.size(), 8);
    // 5000000000 = 0x00000001'2A05F200, least significant byte first.
    EXPECT_EQ(maxSize, QByteArray::fromHex("00f2052a01000000"));
}

// "Detect UTF-16" lives only in the store (the options block of script files has no line
// for it): on by default, off when stored as 0.
TEST_F(SettingsStoreTest, DetectUtf16IsOnUnlessStoredOff)
{
    ProgramOptions loaded;
    SettingsStore(file()).loadOptions(loaded);
    EXPECT_TRUE(loaded.detectUtf16);
    ProgramOptions written;
    written.detectUtf16 = false;
    {
        SettingsStore store(file());
        store.saveOptions(written);
        store.sync();
    }
    EXPECT_EQ(raw().value("Options/Detect UTF-16").toInt(), 0);
    SettingsStore(file()).loadOptions(loaded);
    EXPECT_FALSE(loaded.detectUtf16);
}

// The bounds of an archive member's expanded size: MiB and a multiple of the archive's
// size, 0 for no bound; a value that is no number, negative or past an int keeps the
// default, and what is saved reads back the same.
TEST_F(SettingsStoreTest, ArchiveMemberBoundsAsWrittenByHand)
{
    const ProgramOptions defaults;
    EXPECT_EQ(defaults.maxMemberBytes, int64_t(64) << 30);
    EXPECT_EQ(defaults.maxMemberRatio, 10000);
    struct Case {
        const char* mb;
        const char* ratio;
        int64_t bytes, times;
    } cases[] = {
        {"1024", "50", int64_t(1) << 30, 50},
        {"0", "0", 0, 0},
        {"2147483647", "2147483647", int64_t(2147483647) << 20, 2147483647},
        {"-1", "abc", defaults.maxMemberBytes, defaults.maxMemberRatio},
        {"99999999999", "-5", defaults.maxMemberBytes, defaults.maxMemberRatio},
    };
    for (const Case& c : cases) {
        writeFile(QByteArray("[Options]\nMax%20Member%20MB=") + c.mb + "\nMax%20Member%20Ratio=" + c.ratio + "\n");
        ProgramOptions o;
        SettingsStore(file()).loadOptions(o);
        EXPECT_EQ(o.maxMemberBytes, c.bytes) << c.mb;
        EXPECT_EQ(o.maxMemberRatio, c.times) << c.ratio;
        {
            SettingsStore store(file());
            store.saveOptions(o);
            store.sync();
        }
        ProgramOptions again;
        SettingsStore(file()).loadOptions(again);
        EXPECT_EQ(again.maxMemberBytes, o.maxMemberBytes);
        EXPECT_EQ(again.maxMemberRatio, o.maxMemberRatio);
    }
}

TEST_F(SettingsStoreTest, SixtyFourBitValuesNeedExactlyEightBytes)
{
    {
        QSettings s = raw();
        s.setValue("Options/Min Size Filter", QByteArray::fromHex("0807060504030201"));
        s.setValue("Options/Max Size Filter", QByteArray::fromHex("01020304050607"));
        s.setValue("Options/Min Date Filter", QByteArray::fromHex("010203040506070809"));
        s.setValue("Options/Max Date Filter", QStringLiteral("12345678")); // 8 characters, not binary
    }
    SettingsStore store(file());
    ProgramOptions o;
    o.maxSize = 11;
    o.minDate = 22;
    o.maxDate = 33;
    store.loadOptions(o);
    EXPECT_EQ(o.minSize, 0x0102030405060708LL);
    EXPECT_EQ(o.maxSize, 11);
    EXPECT_EQ(o.minDate, 22);
    EXPECT_EQ(o.maxDate, 33);
}

TEST_F(SettingsStoreTest, ColoursAndIntegersAsWrittenByHand)
{
    writeFile("[Options]\n"
              "String%20Color=\n"
              "File%20Color=16776960\n"
              "Num%20Detail%20Entries=abc\n"
              "Context%20Font=-20,700,1,0,0,34,Arial\n"
              "Max%20Reg%20Expr=500\n"
              "[Flags]\n"
              "Max%20Display%20Chars=100\n"
              "No%20Replace=1\n"
              "Quiet%20Mode=1\n"
              "ZIP%20Mask=\"*.7z;*.zip\"\n" // ";" starts a comment unless quoted
              "Flat%20Toolbar=0\n");
    SettingsStore store(file());
    ProgramOptions o;
    store.loadOptions(o);
    EXPECT_EQ(o.stringColor, 255u);       // empty string keeps the default
    EXPECT_EQ(o.fileColor, 16776960u);
    EXPECT_EQ(o.contextLines, 5);         // not a number: default
    EXPECT_EQ(o.maxRegexSize, 500);
    // An unquoted comma list in a hand-edited file is still one font string.
    expectSameFont(o.contextFont, [] {
        FontDescription f;
        f.height = -20;
        f.weight = 700;
        f.italic = 1;
        f.pitchAndFamily = 34;
        f.faceName = "Arial";
        f.charSet = 0;
        f.quality = 0;
        return f;
    }());

    MainWindowSettings v;
    store.loadMainWindow(v);
    EXPECT_EQ(v.maxDisplayChars, 100);
    EXPECT_TRUE(v.noReplace);
    EXPECT_TRUE(v.quietMode);
    EXPECT_FALSE(v.flatToolbar);
    EXPECT_EQ(v.zipMask, "*.7z;*.zip");
}

// Values the program cannot use give their defaults instead of reaching a run.
TEST_F(SettingsStoreTest, OutOfRangeValuesGiveDefaults)
{
    writeFile("[Flags]\nPrompt_flag=7\nMax%20Display%20Chars=2000000000\n"
              "[Options]\nMax%20Items%20Saved=2000000000\nNum%20Detail%20Entries=-3\n"
              "Max%20Reg%20Expr=49\nMin%20Size%20Filter=-5\nMax%20Date%20Filter=-1\n");
    SettingsStore store(file());
    const ProgramOptions defaults;
    ProgramOptions o;
    store.loadOptions(o);
    EXPECT_EQ(o.promptMode, defaults.promptMode);
    EXPECT_EQ(o.maxItemsSaved, defaults.maxItemsSaved);
    EXPECT_EQ(o.contextLines, defaults.contextLines);
    EXPECT_EQ(o.maxRegexSize, kDefaultMaxRegexSize);
    EXPECT_EQ(o.minSize, 0);
    EXPECT_EQ(o.maxDate, 0);
    MainWindowSettings v;
    store.loadMainWindow(v);
    EXPECT_EQ(v.maxDisplayChars, MainWindowSettings().maxDisplayChars);

    // A block of another type or longer than a block can be is ignored.
    raw().setValue("Flags/Binary Search", QStringLiteral("text"));
    raw().setValue("Flags/Binary Replace", QByteArray(int(kMaxBinaryBlock) + 1, 'x'));
    MainWindowSettings blocks;
    SettingsStore(file()).loadMainWindow(blocks);
    EXPECT_EQ(blocks.binarySearchBlock, "");
    EXPECT_EQ(blocks.binaryReplaceBlock, "");
}

TEST_F(SettingsStoreTest, ContextFontHeightClamp)
{
    raw().setValue("Options/Context Font", QStringLiteral("-600,400,0,0,0,49,Courier,0,0"));
    SettingsStore store(file());
    ProgramOptions o;
    store.loadOptions(o);
    EXPECT_EQ(o.contextFont.height, -13);
    EXPECT_EQ(o.contextFont.weight, 400);
    EXPECT_EQ(o.contextFont.faceName, "Courier");
}

TEST_F(SettingsStoreTest, MainWindowRoundTripLeavesReadOnlyValuesAlone)
{
    MainWindowSettings written;
    written.inputs.searchText = "needle \"q\"";
    written.inputs.replaceText = "thread";
    written.inputs.mask = "*.c;*.h";
    written.inputs.path = "/src/";
    written.inputs.caseSensitive = true;
    written.inputs.wholeWord = true;
    written.inputs.regularExpression = true;
    written.inputs.ignoreWhitespace = true;
    written.inputs.searchZips = false;
    written.inputs.ignoreWhitespaceMask = " \\t";
    written.lastScriptFile = "/home/u/s.tws";
    written.lastBmScriptFile = "/home/u/bm 2.tws";
    written.noReplace = true;
    written.zipMask = "*.7z";
    written.maxDisplayChars = 9;
    written.quietMode = true;
    written.flatToolbar = false;
    written.binarySearchBlock = std::string("\\x00\0ab", 7); // a NUL byte survives
    written.binaryReplaceBlock = "\\r\\n";
    {
        SettingsStore store(file());
        store.saveMainWindow(written);
        store.sync();
    }
    SettingsStore store(file());
    MainWindowSettings read;
    store.loadMainWindow(read);
    EXPECT_EQ(read.inputs.searchText, written.inputs.searchText);
    EXPECT_EQ(read.binarySearchBlock, written.binarySearchBlock);
    EXPECT_EQ(read.binaryReplaceBlock, written.binaryReplaceBlock);
    EXPECT_EQ(read.inputs.replaceText, written.inputs.replaceText);
    EXPECT_EQ(read.inputs.mask, written.inputs.mask);
    EXPECT_EQ(read.inputs.path, written.inputs.path);
    EXPECT_TRUE(read.inputs.caseSensitive && read.inputs.wholeWord
                && read.inputs.regularExpression && read.inputs.ignoreWhitespace);
    EXPECT_FALSE(read.inputs.searchZips);
    EXPECT_EQ(read.inputs.ignoreWhitespaceMask, " \\t");
    EXPECT_EQ(read.lastScriptFile, written.lastScriptFile);
    EXPECT_EQ(read.lastBmScriptFile, written.lastBmScriptFile);
    // Never written, so they come back at their defaults.
    EXPECT_FALSE(read.noReplace);
    EXPECT_EQ(read.zipMask, "*.zip");
    EXPECT_EQ(read.maxDisplayChars, 512);
    EXPECT_FALSE(read.quietMode);
    EXPECT_TRUE(read.flatToolbar);
    QSettings s = raw();
    EXPECT_FALSE(s.contains("Flags/No Replace"));
    EXPECT_FALSE(s.contains("Flags/ZIP Mask"));
    EXPECT_FALSE(s.contains("Flags/Quiet Mode"));
    EXPECT_EQ(s.value("Flags/Whole Word").toInt(), 1);
    EXPECT_EQ(s.value("Options/Search Zips").toInt(), 0);
    EXPECT_EQ(s.value("Options/Last Script File").toString(), "/home/u/s.tws");
    EXPECT_EQ(s.value("Options/Last BM Script File").toString(), "/home/u/bm 2.tws");
    EXPECT_EQ(s.value("Flags/Binary Replace").toByteArray(), QByteArray("\\r\\n"));

    // "Last BM Script File" stays absent until a script is applied in binary mode.
    QTemporaryDir other;
    const QString otherFile = other.filePath(QStringLiteral("TW32.conf"));
    SettingsStore(otherFile).saveMainWindow(MainWindowSettings());
    MainWindowSettings fresh;
    SettingsStore(otherFile).loadMainWindow(fresh);
    EXPECT_FALSE(fresh.lastBmScriptFile.has_value());
    EXPECT_FALSE(QSettings(otherFile, QSettings::IniFormat).contains("Options/Last BM Script File"));
    EXPECT_TRUE(QSettings(otherFile, QSettings::IniFormat).contains("Options/Last Script File"));
}

TEST_F(SettingsStoreTest, RecentItems)
{
    SettingsStore store(file());
    const std::vector<std::string> seven = {"a1", "a2", "a3", "a4", "a5", "a6", "a7"};
    store.saveRecentItems("Search_string", "A3", seven, 5);
    // An earlier, longer list left item 6 behind.
    raw().setValue("Settings/Search_string6", QStringLiteral("old six"));
    store.sync();

    QSettings s = raw();
    EXPECT_EQ(s.value("Settings/Search_string5").toString(), QStringLiteral("a5"));
    EXPECT_EQ(s.value("Settings/Search_string6").toString(), QStringLiteral("old six"));
    EXPECT_FALSE(s.contains("Settings/Search_string7"));

    SettingsStore again(file());
    RecentItems r = again.loadRecentItems("Search_string", 5);
    EXPECT_EQ(r.items, std::vector<std::string>({"a1", "a2", "a3", "a4", "a5"}));
    EXPECT_EQ(r.current, 2); // "A3" found without regard to case

    raw().setValue("Settings/Search_string", QStringLiteral("new"));
    raw().setValue("Settings/Search_string2", QString());
    SettingsStore third(file());
    r = third.loadRecentItems("Search_string", 5);
    EXPECT_EQ(r.items, std::vector<std::string>({"new", "a1", "a3", "a4", "a5"}));
    EXPECT_EQ(r.current, 0);
}

TEST_F(SettingsStoreTest, WindowRect)
{
    raw().setValue("Options/Window Position", QStringLiteral("10,20,400,300"));
    raw().setValue("Options/View Context Position", QStringLiteral("-5;7x8 9"));
    SettingsStore store(file());
    const WindowRect r = store.loadWindowRect("Window Position");
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 400);
    EXPECT_EQ(r.bottom, 300);
    const WindowRect v = store.loadWindowRect("View Context Position");
    EXPECT_EQ(v.left, -5);
    EXPECT_EQ(v.top, 7);
    EXPECT_EQ(v.right, 8);
    EXPECT_EQ(v.bottom, 9);

    store.saveWindowRect("Window Position", {1, 2, 3, 4});
    store.sync();
    EXPECT_EQ(raw().value("Options/Window Position").toString(), QStringLiteral("1,2,3,4"));
}

TEST_F(SettingsStoreTest, LastTabFallsBackToTheFirstPage)
{
    const struct {
        const char* stored; // nullptr: absent
        int page;
    } cases[] = {{nullptr, 0}, {"3", 3}, {"4", 4}, {"5", 0}, {"-1", 0}, {"2x", 0}, {"", 0}};
    for (const auto& c : cases) {
        if (c.stored)
            raw().setValue("Settings/Last Tab", QString::fromLatin1(c.stored));
        else
            raw().remove("Settings/Last Tab");
        EXPECT_EQ(SettingsStore(file()).loadLastTab(), c.page) << (c.stored ? c.stored : "absent");
    }
    SettingsStore store(file());
    store.saveLastTab(3);
    store.sync();
    EXPECT_EQ(raw().value("Settings/Last Tab").toInt(), 3);
}

} // namespace
} // namespace tw

#include "app/SettingsStore.h"

#include "core/SearchRequest.h"

#include "app/OptionsBlock.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "results/ResultEntry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

namespace tw {

namespace {

const QString kSettingsGroup = QStringLiteral("Settings");
const QString kFlagsGroup = QStringLiteral("Flags");
const QString kOptionsGroup = QStringLiteral("Options");

QString key(const QString& group, const char* name)
{
    return group + QLatin1Char('/') + QString::fromUtf8(name);
}

QString key(const QString& group, const std::string& name)
{
    return group + QLatin1Char('/') + QString::fromStdString(name);
}

// A stored value; absent (invalid) when the store is detached from its file.
QVariant valueOf(const QSettings* s, const QString& k)
{
    return s ? s->value(k) : QVariant();
}

// A text value. An INI file edited by hand turns an unquoted "a,b" into a list, so a
// list is joined back with the commas it was split at.
std::optional<QString> readText(const QSettings* s, const QString& k)
{
    const QVariant v = valueOf(s, k);
    if (!v.isValid())
        return std::nullopt;
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

std::string readString(const QSettings* s, const QString& k, const std::string& def)
{
    const auto v = readText(s, k);
    return v ? v->toStdString() : def;
}

int readInt(const QSettings* s, const QString& k, int def)
{
    const QVariant v = valueOf(s, k);
    if (!v.isValid())
        return def;
    // Read wide: a text past an int's range converts to int cut down to its low bits, not
    // refused.
    bool ok = false;
    const qlonglong i = v.toLongLong(&ok);
    return ok && i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max() ? int(i) : def;
}

// A number the program can only use within [low, high]; a hand-edited value outside it
// gives the default, as an unreadable one does.
int readIntIn(const QSettings* s, const QString& k, int def, int low, int high)
{
    const int i = readInt(s, k, def);
    return i < low || i > high ? def : i;
}

// A binary-mode block: bytes of at most kMaxBinaryBlock; any other value (another type,
// a longer one) is ignored.
std::string readBlock(const QSettings* s, const QString& k, const std::string& def)
{
    const QVariant v = valueOf(s, k);
    if (v.typeId() != QMetaType::QByteArray || v.toByteArray().size() > qsizetype(kMaxBinaryBlock))
        return def;
    const QByteArray bytes = v.toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool readBool(const QSettings* s, const QString& k, bool def)
{
    return readInt(s, k, def ? 1 : 0) != 0;
}

// Colours are kept as strings holding the unsigned decimal value; an empty string keeps
// the default.
uint32_t readColor(const QSettings* s, const QString& k, uint32_t def)
{
    const auto v = readText(s, k);
    if (!v || v->isEmpty())
        return def;
    return uint32_t(std::strtoul(v->toStdString().c_str(), nullptr, 10));
}

// 64-bit values are 8-byte binary blocks, least significant byte first; a block of any
// other length, or a value of another type, keeps the default.
int64_t readInt64(const QSettings* s, const QString& k, int64_t def)
{
    const QVariant v = valueOf(s, k);
    if (!v.isValid() || v.typeId() != QMetaType::QByteArray)
        return def;
    const QByteArray bytes = v.toByteArray();
    if (bytes.size() != 8)
        return def;
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | static_cast<unsigned char>(bytes[i]);
    return static_cast<int64_t>(u);
}

QByteArray int64Bytes(int64_t value)
{
    QByteArray bytes(8, '\0');
    uint64_t u = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i, u >>= 8)
        bytes[i] = static_cast<char>(u & 0xFF);
    return bytes;
}

void writeString(QSettings& s, const QString& k, const std::string& v)
{
    s.setValue(k, QString::fromStdString(v));
}

void writeInt(QSettings& s, const QString& k, int v)
{
    s.setValue(k, v);
}

void writeColor(QSettings& s, const QString& k, uint32_t v)
{
    s.setValue(k, QString::number(v));
}

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// Reads a decimal number at `*pos` the way atoi does and moves past it.
int readRectNumber(const std::string& s, size_t* pos)
{
    size_t i = *pos;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 1000000000LL; ++i)
        v = v * 10 + (s[i] - '0');
    *pos = i;
    return int(negative ? -v : v);
}

} // namespace

QString userSettingsFile()
{
    // The rule QSettings itself follows for the user scope on Linux.
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    QString dir;
    if (configHome.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    else if (configHome.startsWith(QLatin1Char('/')))
        dir = configHome;
    else
        dir = QDir::homePath() + QLatin1Char('/') + configHome;
    return QDir::cleanPath(dir + QLatin1Char('/') + QString::fromUtf8(kSettingsOrganization) + QLatin1Char('/')
                           + QString::fromUtf8(kSettingsApplication) + QStringLiteral(".conf"));
}

std::optional<std::string> settingsFileProblem(const QString& path)
{
    const std::string name = QFile::encodeName(path).toStdString();
    FileStatus status;
    // What a link leads to: a settings file kept elsewhere behind a link (as dotfile
    // managers do) is read and written there; a FIFO or a device, directly or behind a
    // link, is never opened. A name that does not exist yet is created as a regular file.
    if (!realFileSystem().status(name, &status, true) || status.isRegular)
        return std::nullopt;
    return "The settings file " + displayName(name)
           + " is not a regular file: it is not read, and settings are not saved.";
}

SettingsStore::SettingsStore(const QString& configFile)
    : m_fileName(configFile.isEmpty() ? userSettingsFile() : configFile), m_problem(settingsFileProblem(m_fileName))
{
    // QSettings reads the file as it is made; a file that is no regular file is never opened.
    if (!m_problem)
        m_settings = std::make_unique<QSettings>(m_fileName, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::sync()
{
    if (m_settings)
        m_settings->sync();
}

void SettingsStore::loadOptions(ProgramOptions& o, int maxRegexSize) const
{
    const QSettings* s = m_settings.get();
    o.searchSubdirs = readBool(s, key(kFlagsGroup, "Search_subdir"), o.searchSubdirs);
    o.promptMode = readIntIn(s, key(kFlagsGroup, "Prompt_flag"), o.promptMode, 0, 2);
    o.outputFile = readString(s, key(kOptionsGroup, "Output_File"), o.outputFile);
    o.stringColor = readColor(s, key(kOptionsGroup, "String Color"), o.stringColor);
    o.showFirstHitLine = readBool(s, key(kOptionsGroup, "Show_Files"), o.showFirstHitLine);
    o.maxItemsSaved = readIntIn(s, key(kOptionsGroup, "Max Items Saved"), o.maxItemsSaved, 5, 50);
    o.fileColor = readColor(s, key(kOptionsGroup, "File Color"), o.fileColor);
    o.backupPath = readString(s, key(kOptionsGroup, "Backup Path"), o.backupPath);
    o.contextLines = readIntIn(s, key(kOptionsGroup, "Num Detail Entries"), o.contextLines, 5, 50);
    o.defaultViewer = readString(s, key(kOptionsGroup, "Default Viewer"), o.defaultViewer);
    o.beforeHit = readString(s, key(kOptionsGroup, "Before Hit"), o.beforeHit);
    o.afterHit = readString(s, key(kOptionsGroup, "After Hit"), o.afterHit);
    o.maxRegexSize = readIntIn(s, key(kOptionsGroup, "Max Reg Expr"), maxRegexSize, 50, 32767);
    o.threads = readIntIn(s, key(kOptionsGroup, "Threads"), o.threads, 0, 256);
    o.writeToBackupDir =
        readBool(s, key(kOptionsGroup, "Write to Backup Dir"), o.writeToBackupDir);
    o.unzipDir = readString(s, key(kOptionsGroup, "Unzip Dir"), o.unzipDir);
    o.showFilesWithoutHits =
        readBool(s, key(kOptionsGroup, "Show Files Without Hits"), o.showFilesWithoutHits);
    o.displayReplaceString =
        readBool(s, key(kOptionsGroup, "Display Replace String"), o.displayReplaceString);
    o.displayFileStats = readBool(s, key(kOptionsGroup, "Display File Stats"), o.displayFileStats);
    o.minSize = readInt64(s, key(kOptionsGroup, "Min Size Filter"), o.minSize);
    o.maxSize = readInt64(s, key(kOptionsGroup, "Max Size Filter"), o.maxSize);
    o.minDate = readInt64(s, key(kOptionsGroup, "Min Date Filter"), o.minDate);
    o.maxDate = readInt64(s, key(kOptionsGroup, "Max Date Filter"), o.maxDate);
    o.keepFileTime = readBool(s, key(kOptionsGroup, "Keep file time stamp"), o.keepFileTime);
    o.stopAfterFirstHit = readBool(s, key(kOptionsGroup, "One hit"), o.stopAfterFirstHit);
    o.cacheFileList = readBool(s, key(kOptionsGroup, "Cache File List"), o.cacheFileList);
    o.useIgnoreFiles = readBool(s, key(kOptionsGroup, "Use Ignore Files"), o.useIgnoreFiles);
    o.detectUtf16 = readBool(s, key(kOptionsGroup, "Detect UTF-16"), o.detectUtf16);
    // The archive member bounds, in MiB and as a multiple of the archive's size; 0 is "no
    // bound", anything else outside the ranges keeps the default.
    o.maxMemberBytes = int64_t(readIntIn(s, key(kOptionsGroup, "Max Member MB"), int(o.maxMemberBytes >> 20), 0,
                                         std::numeric_limits<int>::max()))
                       << 20;
    o.maxMemberRatio = readIntIn(s, key(kOptionsGroup, "Max Member Ratio"), int(o.maxMemberRatio), 0,
                                 std::numeric_limits<int>::max());

    // Negative bounds mean nothing; 0 is "no bound".
    for (int64_t* bound : {&o.minSize, &o.maxSize, &o.minDate, &o.maxDate})
        *bound = std::max<int64_t>(*bound, 0);
    if (o.defaultViewer.empty())
        o.defaultViewer = kDefaultViewerProgram;
    if (o.unzipDir.empty())
        o.unzipDir = temporaryDirectory();

    // ParseContextFont falls back to the built-in font text for an empty value.
    o.contextFont = parseContextFont(readString(s, key(kOptionsGroup, "Context Font"), {}));
}

void SettingsStore::saveOptions(const ProgramOptions& o)
{
    if (!m_settings)
        return;
    QSettings& s = *m_settings;
    writeInt(s, key(kFlagsGroup, "Search_subdir"), o.searchSubdirs ? 1 : 0);
    writeInt(s, key(kFlagsGroup, "Prompt_flag"), o.promptMode);
    writeString(s, key(kOptionsGroup, "Output_File"), o.outputFile);
    writeColor(s, key(kOptionsGroup, "String Color"), o.stringColor);
    writeInt(s, key(kOptionsGroup, "Show_Files"), o.showFirstHitLine ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "Max Items Saved"), o.maxItemsSaved);
    writeColor(s, key(kOptionsGroup, "File Color"), o.fileColor);
    writeString(s, key(kOptionsGroup, "Backup Path"), o.backupPath);
    writeInt(s, key(kOptionsGroup, "Num Detail Entries"), o.contextLines);
    writeString(s, key(kOptionsGroup, "Default Viewer"), o.defaultViewer);
    writeString(s, key(kOptionsGroup, "Before Hit"), o.beforeHit);
    writeString(s, key(kOptionsGroup, "After Hit"), o.afterHit);
    writeInt(s, key(kOptionsGroup, "Max Reg Expr"), o.maxRegexSize);
    writeInt(s, key(kOptionsGroup, "Threads"), o.threads);
    writeInt(s, key(kOptionsGroup, "Write to Backup Dir"), o.writeToBackupDir ? 1 : 0);
    writeString(s, key(kOptionsGroup, "Unzip Dir"), o.unzipDir);
    writeInt(s, key(kOptionsGroup, "Show Files Without Hits"), o.showFilesWithoutHits ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "Display Replace String"), o.displayReplaceString ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "Display File Stats"), o.displayFileStats ? 1 : 0);
    s.setValue(key(kOptionsGroup, "Min Size Filter"), int64Bytes(o.minSize));
    s.setValue(key(kOptionsGroup, "Max Size Filter"), int64Bytes(o.maxSize));
    s.setValue(key(kOptionsGroup, "Min Date Filter"), int64Bytes(o.minDate));
    s.setValue(key(kOptionsGroup, "Max Date Filter"), int64Bytes(o.maxDate));
    writeInt(s, key(kOptionsGroup, "Keep file time stamp"), o.keepFileTime ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "One hit"), o.stopAfterFirstHit ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "Cache File List"), o.cacheFileList ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "Use Ignore Files"), o.useIgnoreFiles ? 1 : 0);
    writeInt(s, key(kOptionsGroup, "Detect UTF-16"), o.detectUtf16 ? 1 : 0);
    constexpr int64_t kIntMax = std::numeric_limits<int>::max();
    writeInt(s, key(kOptionsGroup, "Max Member MB"), int(std::clamp<int64_t>(o.maxMemberBytes >> 20, 0, kIntMax)));
    writeInt(s, key(kOptionsGroup, "Max Member Ratio"), int(std::clamp<int64_t>(o.maxMemberRatio, 0, kIntMax)));
    writeString(s, key(kOptionsGroup, "Context Font"), formatContextFont(o.contextFont));
}

void SettingsStore::loadMainWindow(MainWindowSettings& v) const
{
    const QSettings* s = m_settings.get();
    MainInputs& in = v.inputs;
    in.searchText = readString(s, key(kSettingsGroup, "Search_string"), in.searchText);
    in.replaceText = readString(s, key(kSettingsGroup, "Replace_string"), in.replaceText);
    in.mask = readString(s, key(kSettingsGroup, "Mask"), in.mask);
    in.path = readString(s, key(kSettingsGroup, "Path"), in.path);
    in.caseSensitive = readBool(s, key(kFlagsGroup, "Case_sensitive"), in.caseSensitive);
    in.wholeWord = readBool(s, key(kFlagsGroup, "Whole Word"), in.wholeWord);
    in.regularExpression =
        readBool(s, key(kFlagsGroup, "Regular Expression"), in.regularExpression);
    in.ignoreWhitespace = readBool(s, key(kFlagsGroup, "Ignore Whitespace"), in.ignoreWhitespace);
    in.ignoreWhitespaceMask =
        readString(s, key(kFlagsGroup, "Ignore Whitespace Mask"), in.ignoreWhitespaceMask);
    in.searchZips = readBool(s, key(kOptionsGroup, "Search Zips"), in.searchZips);

    v.noReplace = readBool(s, key(kFlagsGroup, "No Replace"), v.noReplace);
    v.zipMask = readString(s, key(kFlagsGroup, "ZIP Mask"), v.zipMask);
    v.zipFileMask = readString(s, key(kFlagsGroup, "ZIP File Mask"), v.zipFileMask);
    // It sizes the scan buffer's context, so an absurd value must not reach the run.
    v.maxDisplayChars = readIntIn(s, key(kFlagsGroup, "Max Display Chars"), v.maxDisplayChars, 1, 32767);
    v.quietMode = readBool(s, key(kFlagsGroup, "Quiet Mode"), v.quietMode);
    v.flatToolbar = readBool(s, key(kFlagsGroup, "Flat Toolbar"), v.flatToolbar);
    v.lastScriptFile = readString(s, key(kOptionsGroup, "Last Script File"), v.lastScriptFile);
    v.binarySearchBlock = readBlock(s, key(kFlagsGroup, "Binary Search"), v.binarySearchBlock);
    v.binaryReplaceBlock = readBlock(s, key(kFlagsGroup, "Binary Replace"), v.binaryReplaceBlock);
}

void SettingsStore::saveMainWindow(const MainWindowSettings& v)
{
    if (!m_settings)
        return;
    QSettings& s = *m_settings;
    const MainInputs& in = v.inputs;
    writeString(s, key(kSettingsGroup, "Search_string"), in.searchText);
    writeString(s, key(kSettingsGroup, "Replace_string"), in.replaceText);
    writeString(s, key(kSettingsGroup, "Mask"), in.mask);
    writeString(s, key(kSettingsGroup, "Path"), in.path);
    writeInt(s, key(kFlagsGroup, "Case_sensitive"), in.caseSensitive ? 1 : 0);
    writeInt(s, key(kFlagsGroup, "Whole Word"), in.wholeWord ? 1 : 0);
    writeInt(s, key(kFlagsGroup, "Regular Expression"), in.regularExpression ? 1 : 0);
    writeInt(s, key(kFlagsGroup, "Ignore Whitespace"), in.ignoreWhitespace ? 1 : 0);
    writeString(s, key(kFlagsGroup, "Ignore Whitespace Mask"), in.ignoreWhitespaceMask);
    writeString(s, key(kOptionsGroup, "Last Script File"), v.lastScriptFile);
    writeInt(s, key(kOptionsGroup, "Search Zips"), in.searchZips ? 1 : 0);
    for (const auto& [name, block] : {std::pair{"Binary Search", &v.binarySearchBlock},
                                      std::pair{"Binary Replace", &v.binaryReplaceBlock}})
        s.setValue(key(kFlagsGroup, name),
                   QByteArray(block->data(), static_cast<qsizetype>(std::min(block->size(), kMaxBinaryBlock))));
}

void addRecentItem(std::vector<std::string>& items, const std::string& text)
{
    if (text.empty())
        return;
    const std::string_view prefix = kScriptPrefix;
    const auto isScript = [&](const std::string& t) { return t.compare(0, prefix.size(), prefix) == 0; };
    const bool script = isScript(text);
    std::erase_if(items, [&](const std::string& item) {
        return script ? isScript(item) : equalsNoCase(item, text);
    });
    items.insert(items.begin(), text);
}

RecentItems SettingsStore::loadRecentItems(const std::string& boxName, int maxItemsSaved) const
{
    const QSettings* s = m_settings.get();
    RecentItems r;
    for (int i = 1; i <= maxItemsSaved; ++i) {
        std::string item = readString(s, key(kSettingsGroup, boxName + std::to_string(i)), {});
        if (!item.empty())
            r.items.push_back(std::move(item));
    }
    const std::string current = readString(s, key(kSettingsGroup, boxName), {});
    if (current.empty())
        return r;
    for (size_t i = 0; i < r.items.size(); ++i) {
        if (equalsNoCase(r.items[i], current)) {
            r.current = int(i);
            return r;
        }
    }
    r.items.insert(r.items.begin(), current);
    r.current = 0;
    return r;
}

void SettingsStore::saveRecentItems(const std::string& boxName, const std::string& currentText,
                                    const std::vector<std::string>& items, int maxItemsSaved)
{
    if (!m_settings)
        return;
    QSettings& s = *m_settings;
    writeString(s, key(kSettingsGroup, boxName), currentText);
    const size_t count = std::min(items.size(), size_t(std::max(maxItemsSaved, 0)));
    for (size_t i = 0; i < count; ++i)
        writeString(s, key(kSettingsGroup, boxName + std::to_string(i + 1)), items[i]);
}

int SettingsStore::loadLastTab() const
{
    const int page = readInt(m_settings.get(), key(kSettingsGroup, "Last Tab"), 0);
    return page >= 0 && page < kOptionsPageCount ? page : 0;
}

void SettingsStore::saveLastTab(int page)
{
    if (m_settings)
        writeInt(*m_settings, key(kSettingsGroup, "Last Tab"), page);
}

WindowRect SettingsStore::loadWindowRect(const std::string& name) const
{
    const std::string text = readString(m_settings.get(), key(kOptionsGroup, name), {});
    WindowRect r;
    if (text.empty())
        return r;
    size_t pos = 0;
    int* fields[] = {&r.left, &r.top, &r.right, &r.bottom};
    for (int k = 0; k < 4; ++k) {
        *fields[k] = readRectNumber(text, &pos);
        ++pos; // exactly one separator character
    }
    return r;
}

void SettingsStore::saveWindowRect(const std::string& name, const WindowRect& r)
{
    if (!m_settings)
        return;
    writeString(*m_settings, key(kOptionsGroup, name),
                std::to_string(r.left) + ',' + std::to_string(r.top) + ','
                    + std::to_string(r.right) + ',' + std::to_string(r.bottom));
}

QByteArray SettingsStore::loadToolbar() const
{
    const QVariant value = valueOf(m_settings.get(), key(kSettingsGroup, "ToolBar"));
    // A hand-edited file may hold any type here; only bytes are a saved arrangement.
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

void SettingsStore::saveToolbar(const QByteArray& blob)
{
    if (m_settings)
        m_settings->setValue(key(kSettingsGroup, "ToolBar"), blob);
}

} // namespace tw

#include "app/SettingsStore.h"

#include "core/SearchRequest.h"

#include "app/OptionSchema.h"
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

QString key(const OptionEntry& e)
{
    return key(e.group == OptionGroup::Flags ? kFlagsGroup : kOptionsGroup, e.key);
}

// Reads one option, with the record's value (or the entry's own default) for an absent or
// refused stored value.
void loadOption(const QSettings* s, const OptionEntry& e, ProgramOptions& o, int maxRegexSize)
{
    const QString k = key(e);
    const int low = saturatedInt(e.low), high = saturatedInt(e.high);
    switch (e.type) {
    case OptionType::Bool: e.in<bool>(o) = readBool(s, k, e.in<bool>(o)); break;
    case OptionType::Int: {
        int& field = e.in<int>(o);
        field = readIntIn(s, k, e.loadDefault == OptionDefault::ProcessRegexLimit ? maxRegexSize : field, low, high);
        break;
    }
    case OptionType::Color: e.in<uint32_t>(o) = readColor(s, k, e.in<uint32_t>(o)); break;
    case OptionType::Text: {
        std::string& field = e.in<std::string>(o);
        field = readString(s, k, field);
        if (field.empty() && e.whenEmpty)
            field = e.whenEmpty();
        break;
    }
    case OptionType::Bytes64:
    case OptionType::DayStart:
    case OptionType::DayEnd: {
        int64_t& field = e.in<int64_t>(o);
        field = std::max<int64_t>(readInt64(s, k, field), e.low);
        break;
    }
    case OptionType::MiB: {
        int64_t& field = e.in<int64_t>(o);
        field = int64_t(readIntIn(s, k, int(field >> 20), low, high)) << 20;
        break;
    }
    case OptionType::WideInt: {
        int64_t& field = e.in<int64_t>(o);
        field = readIntIn(s, k, int(field), low, high);
        break;
    }
    case OptionType::Font:
        // An absent or empty value gives the built-in font text.
        e.in<FontDescription>(o) = parseContextFont(readString(s, k, {}));
        break;
    }
}

void saveOption(QSettings& s, const OptionEntry& e, const ProgramOptions& o)
{
    const QString k = key(e);
    switch (e.type) {
    case OptionType::Bool: writeInt(s, k, e.in<bool>(o) ? 1 : 0); break;
    case OptionType::Int: writeInt(s, k, e.in<int>(o)); break;
    case OptionType::Color: writeColor(s, k, e.in<uint32_t>(o)); break;
    case OptionType::Text: writeString(s, k, e.in<std::string>(o)); break;
    case OptionType::Bytes64:
    case OptionType::DayStart:
    case OptionType::DayEnd: s.setValue(k, int64Bytes(e.in<int64_t>(o))); break;
    case OptionType::MiB: writeInt(s, k, int(std::clamp<int64_t>(e.in<int64_t>(o) >> 20, e.low, e.high))); break;
    case OptionType::WideInt: writeInt(s, k, int(std::clamp<int64_t>(e.in<int64_t>(o), e.low, e.high))); break;
    case OptionType::Font: writeString(s, k, formatContextFont(e.in<FontDescription>(o))); break;
    }
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
    for (const OptionEntry& e : optionSchema())
        loadOption(m_settings.get(), e, o, maxRegexSize);
}

void SettingsStore::saveOptions(const ProgramOptions& o)
{
    if (!m_settings)
        return;
    for (const OptionEntry& e : optionSchema())
        saveOption(*m_settings, e, o);
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
    if (const auto bmScript = readText(s, key(kOptionsGroup, "Last BM Script File")))
        v.lastBmScriptFile = bmScript->toStdString();
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
    if (v.lastBmScriptFile)
        writeString(s, key(kOptionsGroup, "Last BM Script File"), *v.lastBmScriptFile);
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
        *fields[k] = saturatedInt(leadingInteger(text, &pos));
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

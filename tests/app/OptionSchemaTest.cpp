#include "app/OptionSchema.h"

#include "app/OptionsBlock.h"
#include "app/SettingsStore.h"

#include "OptionsTestSupport.h"
#include "WrittenSettingsFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

namespace tw {
namespace {

constexpr const char* kPicture = "dd/MM/yyyy";
constexpr int64_t kTicksPerDay = 86400 * kFileTimeTicksPerSecond;

void expectAllSame(const ProgramOptions& a, const ProgramOptions& b)
{
    expectSameOptions(a, b);
    expectSameFont(a.contextFont, b.contextFont);
    EXPECT_EQ(a.threads, b.threads);
    EXPECT_EQ(a.useIgnoreFiles, b.useIgnoreFiles);
    EXPECT_EQ(a.detectUtf16, b.detectUtf16);
    EXPECT_EQ(a.maxMemberBytes, b.maxMemberBytes);
    EXPECT_EQ(a.maxMemberRatio, b.maxMemberRatio);
}

// The options kWrittenSettingsFile was written from.
ProgramOptions writtenOptions()
{
    ProgramOptions o = changedOptions();
    o.threads = 3;
    o.useIgnoreFiles = true;
    o.detectUtf16 = false;
    o.maxMemberBytes = int64_t(300) << 20;
    o.maxMemberRatio = 77;
    o.undoSpaceBytes = int64_t(200) << 20;
    o.contextFont.underline = 1;
    o.contextFont.strikeOut = 1;
    o.contextFont.pitchAndFamily = 34;
    return o;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

class OptionSchemaTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString file(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

    void save(const QString& path, const ProgramOptions& o) const
    {
        SettingsStore store(path);
        store.saveOptions(o);
        store.sync();
    }

    QTemporaryDir m_dir;
};

// A file the program wrote before the options were one table reads back as what was
// written, and saving the same options writes it again byte for byte: the same keys in
// the same groups, value types and text forms, none missing and none added.
TEST_F(OptionSchemaTest, ASettingsFileWrittenBeforeReadsAndWritesTheSame)
{
    const QString before = file("before.conf");
    {
        QFile f(before);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kWrittenSettingsFile);
    }
    ProgramOptions loaded;
    SettingsStore(before).loadOptions(loaded);
    expectAllSame(loaded, writtenOptions());

    save(file("again.conf"), loaded);
    EXPECT_EQ(readAll(file("again.conf")), QByteArray(kWrittenSettingsFile));
    save(before, loaded);
    EXPECT_EQ(readAll(before), QByteArray(kWrittenSettingsFile));
}

// Random option values for every entry of the schema: within the entry's bounds, at and
// just past them, and anywhere.
class RandomOptions {
public:
    explicit RandomOptions(uint64_t seed) : m_random(seed) {}

    ProgramOptions make(bool forBlock)
    {
        ProgramOptions o;
        for (const OptionEntry& e : optionSchema())
            setRandom(e, o, forBlock);
        return o;
    }

private:
    int64_t pick(std::initializer_list<int64_t> values)
    {
        return *(values.begin() + std::uniform_int_distribution<size_t>(0, values.size() - 1)(m_random));
    }
    int64_t between(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(m_random); }

    // Up to 40 characters, some that the INI format quotes or escapes and some UTF-8; no
    // line breaks, which end a line of the options block.
    std::string text()
    {
        static const std::string pieces[] = {"a", "Z", "0", " ", ",", ";", "=", "\"", "\\", "#", "/", "\t",
                                             "%20", "@ByteArray(x)", "\xC3\xA4", "\xE2\x82\xAC"};
        std::string s;
        for (int64_t n = between(0, 40); n > 0; --n)
            s += pieces[between(0, std::size(pieces) - 1)];
        return s;
    }

    int64_t ranged(const OptionEntry& e)
    {
        return pick({e.low, e.high, e.low - 1, e.high + 1, between(e.low, e.high), between(INT_MIN, INT_MAX),
                     between(INT64_MIN / 2, INT64_MAX / 2)});
    }

    void setRandom(const OptionEntry& e, ProgramOptions& o, bool forBlock)
    {
        switch (e.type) {
        case OptionType::Bool: e.in<bool>(o) = between(0, 1) != 0; break;
        case OptionType::Int: e.in<int>(o) = saturatedInt(ranged(e)); break;
        case OptionType::Color: e.in<uint32_t>(o) = uint32_t(between(0, UINT32_MAX)); break;
        case OptionType::Text: e.in<std::string>(o) = text(); break;
        case OptionType::Bytes64:
            // The options block reads 18 digits at most.
            e.in<int64_t>(o) = forBlock ? between(-999999999999999999, 999999999999999999)
                                        : pick({0, -1, INT64_MIN, INT64_MAX, between(INT64_MIN, INT64_MAX)});
            break;
        case OptionType::DayStart:
        case OptionType::DayEnd: {
            // The options block keeps the day: 0, or a day between 1601 and 9999.
            const int64_t day = between(0, 3074323) * kTicksPerDay;
            const int64_t date = e.type == OptionType::DayEnd ? day + kTicksPerDay - kFileTimeTicksPerSecond : day;
            e.in<int64_t>(o) = forBlock ? pick({0, date}) : pick({0, -5, date, between(INT64_MIN, INT64_MAX)});
            break;
        }
        case OptionType::MiB: e.in<int64_t>(o) = int64_t(saturatedInt(ranged(e))) << 20 | between(0, (1 << 20) - 1); break;
        case OptionType::WideInt: e.in<int64_t>(o) = ranged(e); break;
        case OptionType::Font: {
            FontDescription& f = e.in<FontDescription>(o);
            f.height = int(between(-500, 0));
            for (int* v : {&f.weight, &f.italic, &f.underline, &f.strikeOut, &f.pitchAndFamily, &f.charSet, &f.quality})
                *v = int(between(INT_MIN, INT_MAX));
            f.faceName = pick({0, 1}) ? "DejaVu Sans" : "Mono \xC3\xA4";
            break;
        }
        }
    }

    std::mt19937_64 m_random;
};

// What the store gives back for a saved value: `saved` was saved, `record` held the
// value the load began with.
void expectLoadedAsStored(const OptionEntry& e, const ProgramOptions& loaded, const ProgramOptions& saved,
                          const ProgramOptions& record, int processRegexLimit)
{
    SCOPED_TRACE(e.key);
    const auto inRange = [&](int64_t v) { return v >= e.low && v <= e.high; };
    switch (e.type) {
    case OptionType::Bool: EXPECT_EQ(e.in<bool>(loaded), e.in<bool>(saved)); break;
    case OptionType::Int: {
        const int def = e.loadDefault == OptionDefault::ProcessRegexLimit ? processRegexLimit : e.in<int>(record);
        EXPECT_EQ(e.in<int>(loaded), inRange(e.in<int>(saved)) ? e.in<int>(saved) : def);
        break;
    }
    case OptionType::Color: EXPECT_EQ(e.in<uint32_t>(loaded), e.in<uint32_t>(saved)); break;
    case OptionType::Text: {
        const std::string& s = e.in<std::string>(saved);
        EXPECT_EQ(e.in<std::string>(loaded), s.empty() && e.whenEmpty ? e.whenEmpty() : s);
        break;
    }
    case OptionType::Bytes64:
    case OptionType::DayStart:
    case OptionType::DayEnd: EXPECT_EQ(e.in<int64_t>(loaded), std::max<int64_t>(e.in<int64_t>(saved), 0)); break;
    case OptionType::MiB:
        EXPECT_EQ(e.in<int64_t>(loaded), std::clamp<int64_t>(e.in<int64_t>(saved) >> 20, 0, INT_MAX) << 20);
        break;
    case OptionType::WideInt:
        EXPECT_EQ(e.in<int64_t>(loaded), std::clamp<int64_t>(e.in<int64_t>(saved), 0, INT_MAX));
        break;
    case OptionType::Font: expectSameFont(e.in<FontDescription>(loaded), e.in<FontDescription>(saved)); break;
    }
}

// Saving and loading every option with random values: a value within its bounds comes
// back as saved, one outside them as the bounds say (the record's value, or cut to them).
TEST_F(OptionSchemaTest, RandomValuesComeBackFromTheStoreWithinTheirBounds)
{
    RandomOptions random(20260321);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const ProgramOptions saved = random.make(false);
        const ProgramOptions record = random.make(false);
        const QString path = file("round.conf");
        QFile::remove(path);
        save(path, saved);
        ProgramOptions loaded = record;
        const int processRegexLimit = 100 + round;
        SettingsStore(path).loadOptions(loaded, processRegexLimit);
        for (const OptionEntry& e : optionSchema())
            expectLoadedAsStored(e, loaded, saved, record, processRegexLimit);
        if (HasFailure())
            break;
    }
}

// The options block gives back what it wrote within the options' bounds; a number outside
// them keeps the value read over (a size below zero is no bound), as the settings store
// does; options it has no line for stay alone.
TEST(OptionSchemaBlock, RandomValuesComeBackFromTheBlock)
{
    RandomOptions random(777);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const ProgramOptions written = random.make(true);
        const std::string block = formatOptionsBlock(written, kPicture);
        ProgramOptions read = random.make(true);
        const ProgramOptions before = read;
        size_t end = 0;
        ASSERT_TRUE(readOptionsBlock(block + "[Search]\r\n", read, kPicture, &end));
        EXPECT_EQ(end, block.size());
        ProgramOptions expected = written;
        for (const OptionEntry& e : optionSchema()) {
            if (!e.inBlock)
                std::visit([&](auto field) { expected.*field = before.*field; }, e.field);
            else if (e.type == OptionType::Int && (e.in<int>(written) < e.low || e.in<int>(written) > e.high))
                e.in<int>(expected) = e.in<int>(before);
            else if (e.type == OptionType::Bytes64)
                e.in<int64_t>(expected) = std::max<int64_t>(e.in<int64_t>(written), e.low);
        }
        EXPECT_EQ(formatOptionsBlock(read, kPicture), formatOptionsBlock(expected, kPicture));
        expectAllSame(read, expected);
        if (HasFailure())
            break;
    }
}

} // namespace
} // namespace tw

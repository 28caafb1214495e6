// INI text as the program meets it in VornSched.ini and LANGUAGE.INI: every
// key the program reads is read, then each is written and read back. A write
// changes one place of the file (one line rewritten, or lines inserted at
// one point); every other byte stays as it was.

#include "fuzzing.h"

#include "appstate.h"
#include "inifile.h"
#include "settings.h"
#include "texts.h"

using namespace vorn;

namespace {

// Settings keys, the grouping (read under its own spelling of the section)
// and the interface language.
constexpr std::pair<const char *, const char *> keys[] = {
    {"SCHEDULER", "Timer"},         {"SCHEDULER", "PlanBegVisible"}, {"SCHEDULER", "PlanEndVisible"},
    {"SCHEDULER", "PlanDurVisible"}, {"SCHEDULER", "ActBegVisible"}, {"SCHEDULER", "ActEndVisible"},
    {"SCHEDULER", "ActDurVisible"}, {"SCHEDULER", "Interval"},       {"SCHEDULER", "BaseDate"},
    {"SCHEDULER", "BaseTime"},      {"Scheduler", "SortOrder"},      {"GENERAL", "ApplicationLanguage"},
};

// Old and new text differ in one place only, which lies within one line of
// the old text (or between two of its lines).
void checkOnePlaceChanged(const QByteArray &before, const QByteArray &after)
{
    const qsizetype prefix = std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin();
    // The common tail may not reach back into the common head.
    const qsizetype suffix = std::mismatch(before.rbegin(), before.rend() - prefix, after.rbegin(), after.rend() - prefix).first
        - before.rbegin();
    const QByteArrayView removed = QByteArrayView(before).sliced(prefix, before.size() - prefix - suffix);
    VORN_FUZZ_CHECK(!removed.contains('\n'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView text(data, qsizetype(size));
    const QString folder = fuzz::ScratchFolder();
    const QString file = folder + QStringLiteral("LANGUAGE.INI");
    VORN_FUZZ_CHECK(testing::writeFile(file, text.toByteArray()));

    AppState state;
    state.SettingsFile = file;
    LoadSettings(state, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    VORN_FUZZ_CHECK(state.IntervalIndex >= 0 && state.IntervalIndex <= 7 && state.TimerInterval > 0);
    VORN_FUZZ_CHECK(state.BaseDate.size() <= 15 && state.BaseTime.size() <= 8);
    ReadSortOrder(file);
    GetLanguageID(folder);

    // The values written depend on the input, so that they sometimes equal
    // what is already there.
    uint seed = qHash(text);
    for (const auto &[sectionName, keyName] : keys) {
        const QString section = QLatin1StringView(sectionName);
        const QString name = QLatin1StringView(keyName);
        const QString value = QString::number(qint16(seed % 65536));
        seed = seed * 1103515245u + 12345u;
        const QByteArray before = testing::readFile(file);
        VORN_FUZZ_CHECK(WriteIniString(file, section, name, value).ok());
        checkOnePlaceChanged(before, testing::readFile(file));
        VORN_FUZZ_CHECK(ReadIniString(file, section, name, QString(), 256) == value);
        VORN_FUZZ_CHECK(ReadIniInt(file, section, name, 12345) == value.toInt());
    }

    return 0;
}

#include "texts.h"

#include "inifile.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPointer>
#include <QThread>
#include <QTranslator>

#include <atomic>
#include <utility>

namespace vorn {

namespace {

using Table = QHash<int, QString>;

// The tables are kept as data (res/strings) and compiled in as resources so
// that a translator edits text, not code.
Table loadTable(const QString &resource)
{
    Table table;
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool ok = false;
        const int id = it.key().toInt(&ok);
        if (ok)
            table.insert(id, it.value().toString());
    }
    return table;
}

struct Tables {
    Table english = loadTable(QStringLiteral(":/vorn/strings/en.json"));
    Table chinese = loadTable(QStringLiteral(":/vorn/strings/zh_CN.json"));
};

const Tables &tables()
{
    // A function-local static is built once, on first use, even when several
    // threads ask at the same time.
    static const Tables instance;
    return instance;
}

std::atomic<qint32> currentLanguage{LanguageEnglish};

// Qt's own texts (a message box's Yes, No and OK, the file and print
// dialogs) follow the interface language: Qt's Chinese translation is
// installed while the interface is Chinese; English is Qt's own.
void applyToolkitLanguage(qint32 language)
{
    QCoreApplication *app = QCoreApplication::instance();
    // Translators belong to the application's thread.
    if (!app || QThread::currentThread() != app->thread())
        return;
    static QPointer<QTranslator> chinese;
    static bool installed = false;
    if (language != LanguageChinese) {
        if (std::exchange(installed, false))
            QCoreApplication::removeTranslator(chinese);
        return;
    }
    if (!chinese) {
        // Debian's qt6-translations-l10n; an install that brings its own Qt
        // keeps them in "translations" beside the program. Without either the
        // buttons stay English.
        auto *translator = new QTranslator(app);
        const QString name = QStringLiteral("qtbase_zh_CN");
        if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))
            && !translator->load(name, QCoreApplication::applicationDirPath() + QStringLiteral("/translations"))) {
            delete translator;
            return;
        }
        chinese = translator;
    }
    if (!std::exchange(installed, true))
        QCoreApplication::installTranslator(chinese);
}

} // namespace

void LoadTextResources()
{
    tables();
}

QString GetText(int id)
{
    const Tables &t = tables();
    const Table &table = currentLanguage.load() == LanguageChinese ? t.chinese : t.english;
    return table.value(id);
}

QString GetText(int id, const QString &englishText)
{
    Q_UNUSED(englishText);
    return GetText(id);
}

QString GetTextOr(int id, const char *fallback)
{
    const QString text = GetText(id);
    return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

qint32 CurrentLanguageID()
{
    return currentLanguage.load();
}

void SetLanguage(qint32 id, const QString &name)
{
    Q_UNUSED(name);
    qint32 chosen = LanguageEnglish;
    for (const qint32 supported : SupportedLanguages()) {
        if (supported == id) {
            chosen = id;
            break;
        }
    }
    currentLanguage.store(chosen);
    applyToolkitLanguage(chosen);
}

QString LanguageName(qint32 id)
{
    switch (id) {
    case LanguageEnglish:
        return QStringLiteral("English");
    case LanguageChinese:
        return QStringLiteral("Chinese (China)");
    default:
        return QStringLiteral("Invalid Language Index");
    }
}

QList<qint32> SupportedLanguages()
{
    return {LanguageEnglish, LanguageChinese};
}

qint16 GetLanguageID(const QString &programFolder)
{
    QString folder = programFolder;
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    const QString value = ReadIniString(folder + QStringLiteral("LANGUAGE.INI"),
                                        QStringLiteral("GENERAL"),
                                        QStringLiteral("ApplicationLanguage"), QString(), 64);
    // Only the exact upper-case value selects Chinese; "cn" stays English.
    return value == QStringLiteral("CN") ? qint16(LanguageChinese) : qint16(LanguageEnglish);
}

} // namespace vorn

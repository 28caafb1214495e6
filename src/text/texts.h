#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace vorn {

// Language ids (Windows language identifiers).
constexpr qint32 LanguageEnglish = 9;
constexpr qint32 LanguageChinese = 2052;

// Starts the string tables once per process.
void LoadTextResources();

// Text of string id `id` in the current language; empty for an id the tables lack.
QString GetText(int id);

// The same; call sites pass the English text beside the id so that the code
// reads well. The lookup does not use it.
QString GetText(int id, const QString &englishText);

// Text of string id `id`, or `fallback` when the tables have none (not
// loaded, or the id missing): for texts the program cannot do without.
QString GetTextOr(int id, const char *fallback);

// The id made current by SetLanguage (English until then).
qint32 CurrentLanguageID();

// Makes `id` current if supported, else English, Qt's own texts included
// (called on the application's thread). The name is not used.
void SetLanguage(qint32 id, const QString &name = QString());

// "English", "Chinese (China)" or "Invalid Language Index".
QString LanguageName(qint32 id);

// 9, 2052 in this order.
QList<qint32> SupportedLanguages();

// Reads LANGUAGE.INI in `programFolder` (section "GENERAL", key
// "ApplicationLanguage"): 2052 for exactly "CN", else 9.
qint16 GetLanguageID(const QString &programFolder);

} // namespace vorn

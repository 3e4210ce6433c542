#pragma once
// The interface language: its code, the remembered Russian source texts of
// widgets, the order of the language list and the translation entry points.

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>

class QObject;
class QWidget;

// Lower-case code of the interface language ("ru", "en", "pt", ...).
QString currentUiLanguageCode();

// Makes `code` the interface language: the program's own texts follow it, and
// so do Qt's own widgets (standard buttons, file, colour and print dialogs,
// context menus) through Qt's translations for that language.
void applyUiLanguage(const QString& code);

// The text stored in the object's property, storing current there first when
// the property does not exist yet; so the first text seen is kept.
QString rememberedText(QObject* object, const char* property, const QString& current);

// Russian first, English second, then the others by native name.
bool uiLanguageComesBefore(const QPair<QString, QString>& a, const QPair<QString, QString>& b);

class QAction;
class QLabel;

// The translation resource linked into the program.
inline constexpr char kUiTranslationsResource[] = ":/resources/i18n/ulvo_ui_translations_multilang.json";

// Language code to (Russian source text to translated text).
using UiTranslationTables = QHash<QString, QHash<QString, QString>>;

// The "translations" member of a translation table; a value that is not a
// string reads as an empty text.
UiTranslationTables readUiTranslationTables(const QByteArray& json);

// The lookup rule: the language's entry; else the source when it has Cyrillic
// letters, the language is English or there is no English table; else the
// English entry (or the source when there is none).
QString lookUpTranslation(const UiTranslationTables& tables, const QString& language, const QString& source);

// A Russian source text in the interface language (the application property
// "uiLanguage", else the setting "ui/language").
QString uiTranslate(const QString& text);

// uiTranslate, then the text before a parenthesised tail, then line by line.
QString uiTranslateSmart(const QString& text);

// Shows a Russian text on a label in the interface language at once; a later
// pass still finds the Russian source, so a language change reaches it too.
void setLocalizedText(QLabel* label, const QString& source);

// An action's text, tool tip and status tip from their remembered sources.
void localizeAction(QAction* action);

// Translates a widget tree from its remembered Russian texts.
void localizeWidgetTree(QWidget* widget);

// A widget that shows the user's own words (file, sheet, certificate and
// facsimile names, search hits): passes leave its texts, items and tips as
// they are, so a sheet called "Отмена" is never shown as "Cancel". The code
// fills such a widget with texts already in the interface language.
void keepUserText(QWidget* widget);

// Whether a text holds a Russian letter, as the translation sources do.
bool hasRussianLetter(const QString& text);

// The languages the translation resource offers: (code, native name), Russian
// first, English second.
const QList<QPair<QString, QString>>& uiLanguageList();

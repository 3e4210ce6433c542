// Run-time translation of the Russian source texts through the linked table.
#include "UiLanguage.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMutex>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>

#include <algorithm>
#include <functional>

namespace {

constexpr int kListSourceRole = Qt::UserRole + 500;

// Loaded once, also when the first look-up comes from a worker thread.
const UiTranslationTables& tables() {
  static const UiTranslationTables loaded = [] {
    QFile file(QString::fromLatin1(kUiTranslationsResource));
    return file.open(QIODevice::ReadOnly) ? readUiTranslationTables(file.readAll()) : UiTranslationTables();
  }();
  return loaded;
}

QString translationLanguage() {
  QString code;
  if (QCoreApplication* app = QCoreApplication::instance()) code = app->property("uiLanguage").toString();
  if (code.isEmpty()) code = QSettings().value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString();
  return code;
}

// The Russian source of a text a widget was given. Code that builds a widget
// in another language with tr() gives it a translation; the widget must still
// remember the Russian source, or a later change of language could not reach
// it. Every translation made is remembered with its source for this.
QMutex producedLock;
QHash<QString, QString> produced;  // translation -> the source it was last made from

void rememberProduced(const QString& source, const QString& translated) {
  if (translated == source) return;
  const QMutexLocker locker(&producedLock);
  if (produced.size() > 20000) produced.clear();  // bounded: only recent texts matter
  produced.insert(translated, source);
}

QString russianSourceOf(const QString& text) {
  const UiTranslationTables& all = tables();
  if (text.isEmpty() || all.value(QStringLiteral("ru")).contains(text)) return text;
  // A word with two sources ("Bereit" for "Готов" and "Готово") is resolved
  // by the one it was made from; a text never made from a source is its own.
  const QMutexLocker locker(&producedLock);
  const auto made = produced.constFind(text);
  return made != produced.constEnd() ? made.value() : text;
}

// The property holding what the last pass set, beside the remembered source.
QByteArray shownProperty(const char* sourceProperty) { return QByteArray(sourceProperty) + "_shown"; }

// The source of one text of a widget. A text the code set after the last
// pass (a status message, a counter, a file name) differs from both the
// remembered source and what the pass showed: it becomes the new source, so
// a later pass never puts an old text back.
QString sourceText(QObject* object, const char* property, const QString& current) {
  if (!object->property(property).isValid()) object->setProperty(property, russianSourceOf(current));
  const QString remembered = object->property(property).toString();
  const QVariant shown = object->property(shownProperty(property));
  if (current != remembered && shown.isValid() && current != shown.toString()) {
    const QString source = russianSourceOf(current);
    object->setProperty(property, source);
    return source;
  }
  return remembered;
}

QString translatedFor(QObject* object, const char* property, const QString& current) {
  const QString translated = uiTranslateSmart(sourceText(object, property, current));
  object->setProperty(shownProperty(property), translated);
  return translated;
}

void localizeTips(QObject* object, const QString& toolTip, const QString& statusTip,
                  const std::function<void(const QString&)>& setToolTip,
                  const std::function<void(const QString&)>& setStatusTip) {
  const QString toolSource = sourceText(object, "_ulvo_i18n_tooltip", toolTip);
  if (!toolSource.isEmpty()) setToolTip(translatedFor(object, "_ulvo_i18n_tooltip", toolTip));
  const QString statusSource = sourceText(object, "_ulvo_i18n_statusTip", statusTip);
  if (!statusSource.isEmpty()) setStatusTip(translatedFor(object, "_ulvo_i18n_statusTip", statusTip));
}

void localizeComboItems(QComboBox* combo) {
  if (combo->property("_ulvo_i18n_skip_items").toBool()) return;
  QStringList sources = combo->property("_ulvo_i18n_items").toStringList();
  if (sources.size() != combo->count() && combo->count() <= 80) {
    sources.clear();
    for (int i = 0; i < combo->count(); ++i) sources << russianSourceOf(combo->itemText(i));
    combo->setProperty("_ulvo_i18n_items", sources);
  }
  if (sources.size() != combo->count()) return;
  const QSignalBlocker blocker(combo);
  for (int i = 0; i < combo->count(); ++i) combo->setItemText(i, uiTranslateSmart(sources[i]));
}

// A list item or table header keeps its source in a data role of its own.
template <typename Item>
void localizeItem(Item* item) {
  if (!item->data(kListSourceRole).isValid()) item->setData(kListSourceRole, russianSourceOf(item->text()));
  item->setText(uiTranslateSmart(item->data(kListSourceRole).toString()));
}

void localizeListItems(QListWidget* list) {
  for (int i = 0; i < list->count(); ++i) localizeItem(list->item(i));
}

void localizeTableHeaders(QTableWidget* table) {
  for (int column = 0; column < table->columnCount(); ++column)
    if (QTableWidgetItem* header = table->horizontalHeaderItem(column)) localizeItem(header);
}

// QSpinBox and QDoubleSpinBox: their units are not on a common base.
template <typename Spin>
void localizeAffixes(Spin* spin) {
  spin->setSuffix(translatedFor(spin, "_ulvo_i18n_suffix", spin->suffix()));
  spin->setPrefix(translatedFor(spin, "_ulvo_i18n_prefix", spin->prefix()));
}

void localizeTabs(QTabWidget* tabs) {
  QStringList sources = tabs->property("_ulvo_i18n_tabs").toStringList();
  if (sources.size() != tabs->count()) {
    sources.clear();
    for (int i = 0; i < tabs->count(); ++i) sources << russianSourceOf(tabs->tabText(i));
    tabs->setProperty("_ulvo_i18n_tabs", sources);
  }
  for (int i = 0; i < tabs->count(); ++i) tabs->setTabText(i, uiTranslateSmart(sources[i]));
}

void localizeWidget(QWidget* widget) {
  // Texts filled with user data (file names, manifest strings) were
  // translated before they were filled; a pass leaves them alone.
  if (widget->property("_ulvo_i18n_userData").toBool()) return;
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    // Setting an unchanged text would still drop a label's pixmap or movie.
    const QString text = translatedFor(label, "_ulvo_i18n_text", label->text());
    if (text != label->text()) label->setText(text);
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget))
    button->setText(translatedFor(button, "_ulvo_i18n_text", button->text()));
  if (auto* group = qobject_cast<QGroupBox*>(widget))
    group->setTitle(translatedFor(group, "_ulvo_i18n_title", group->title()));
  if (auto* line = qobject_cast<QLineEdit*>(widget))
    line->setPlaceholderText(translatedFor(line, "_ulvo_i18n_placeholder", line->placeholderText()));
  if (auto* edit = qobject_cast<QTextEdit*>(widget))
    edit->setPlaceholderText(translatedFor(edit, "_ulvo_i18n_placeholder", edit->placeholderText()));
  // Units after a number ("5 мин") are texts of their own.
  if (auto* spin = qobject_cast<QSpinBox*>(widget)) localizeAffixes(spin);
  if (auto* spin = qobject_cast<QDoubleSpinBox*>(widget)) localizeAffixes(spin);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) localizeComboItems(combo);
  if (auto* list = qobject_cast<QListWidget*>(widget)) localizeListItems(list);
  if (auto* table = qobject_cast<QTableWidget*>(widget)) localizeTableHeaders(table);
  if (auto* tabs = qobject_cast<QTabWidget*>(widget)) localizeTabs(tabs);
  localizeTips(
      widget, widget->toolTip(), widget->statusTip(), [widget](const QString& t) { widget->setToolTip(t); },
      [widget](const QString& t) { widget->setStatusTip(t); });
  for (QAction* action : widget->actions()) localizeAction(action);
}

}  // namespace

bool hasRussianLetter(const QString& text) {
  static const QRegularExpression cyrillic(QStringLiteral("[А-Яа-яЁё]"));
  return text.contains(cyrillic);
}

UiTranslationTables readUiTranslationTables(const QByteArray& json) {
  UiTranslationTables result;
  const QJsonObject translations = QJsonDocument::fromJson(json).object().value("translations").toObject();
  for (auto language = translations.begin(); language != translations.end(); ++language) {
    QHash<QString, QString>& table = result[language.key()];
    const QJsonObject entries = language.value().toObject();
    for (auto entry = entries.begin(); entry != entries.end(); ++entry)
      table.insert(entry.key(), entry.value().isString() ? entry.value().toString() : QString());
  }
  return result;
}

QString lookUpTranslation(const UiTranslationTables& tables, const QString& language, const QString& source) {
  if (source.isEmpty()) return source;
  // A listed "context|text" names one meaning of a text; a language without
  // an entry for that meaning reads it as the text. Texts not listed so (a
  // file name with a bar) are left as they are.
  const auto table = tables.constFind(language);
  const auto english = tables.constFind(QStringLiteral("en"));
  const QString translated = table != tables.constEnd() ? table->value(source) : QString();
  const qsizetype bar = source.indexOf(u'|');
  if (bar > 0 && translated.isEmpty() && english != tables.constEnd() && english->contains(source))
    return lookUpTranslation(tables, language, source.mid(bar + 1));
  // A translation that happens to read as the English one ("Text", "Import",
  // "Navigation") is still that language's word: it is shown, never swapped
  // back to the Russian source.
  if (!translated.isEmpty()) return translated;
  if (language == QLatin1String("en") || english == tables.constEnd()) return source;
  const QString inEnglish = english->value(source);
  if (inEnglish.isEmpty() || hasRussianLetter(source)) return source;
  return inEnglish;
}

QString uiTranslate(const QString& source) {
  if (source.isEmpty()) return source;
  const QString translated = lookUpTranslation(tables(), translationLanguage(), source);
  rememberProduced(source, translated);
  return translated;
}

QString uiTranslateSmart(const QString& source) {
  const QString whole = uiTranslate(source);
  if (whole != source) return whole;
  const qsizetype open = source.lastIndexOf(QStringLiteral(" ("));
  if (open > 0 && source.endsWith(u')')) {
    const QString head = source.left(open);
    const QString translatedHead = uiTranslate(head);
    if (translatedHead != head) return translatedHead + source.mid(open);
  }
  if (source.contains(u'\n')) {
    QStringList parts = source.split(u'\n');
    bool changed = false;
    for (QString& part : parts) {
      const QString translated = uiTranslateSmart(part);
      changed = changed || translated != part;
      part = translated;
    }
    if (changed) return parts.join(u'\n');
  }
  return source;
}

void localizeAction(QAction* action) {
  if (!action) return;
  action->setText(translatedFor(action, "_ulvo_i18n_text", action->text()));
  localizeTips(
      action, action->toolTip(), action->statusTip(), [action](const QString& t) { action->setToolTip(t); },
      [action](const QString& t) { action->setStatusTip(t); });
}

void setLocalizedText(QLabel* label, const QString& source) {
  if (!label) return;
  label->setText(source);
  localizeWidgetTree(label);
}

void keepUserText(QWidget* widget) {
  if (widget) widget->setProperty("_ulvo_i18n_userData", true);
}

void localizeWidgetTree(QWidget* root) {
  if (!root || root->property("_ulvo_i18n_localizing").toBool()) return;
  root->setProperty("_ulvo_i18n_localizing", true);
  const QString titleSource = sourceText(root, "_ulvo_i18n_windowTitle", root->windowTitle());
  if (!titleSource.isEmpty()) root->setWindowTitle(translatedFor(root, "_ulvo_i18n_windowTitle", root->windowTitle()));
  localizeWidget(root);
  for (QWidget* child : root->findChildren<QWidget*>()) localizeWidget(child);
  for (QAction* action : root->findChildren<QAction*>()) localizeAction(action);
  root->setProperty("_ulvo_i18n_localizing", false);
}

const QList<QPair<QString, QString>>& uiLanguageList() {
  static QList<QPair<QString, QString>> languages;
  static bool built = false;
  if (built) return languages;
  built = true;
  QFile file(QString::fromLatin1(kUiTranslationsResource));
  if (file.open(QIODevice::ReadOnly)) {
    const QJsonObject locales =
        QJsonDocument::fromJson(file.readAll()).object().value("meta").toObject().value("locales").toObject();
    for (auto it = locales.begin(); it != locales.end(); ++it)
      languages.append({it.key(), it.value().isString() ? it.value().toString() : it.key()});
  }
  if (languages.isEmpty()) languages = {{QStringLiteral("ru"), QStringLiteral("Русский")}, {QStringLiteral("en"), QStringLiteral("English")}};
  std::sort(languages.begin(), languages.end(), uiLanguageComesBefore);
  return languages;
}

#include "UiLanguage.h"

#include <QCollator>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <QVariant>
#include <QWidget>

QString currentUiLanguageCode() {
  QString code;
  if (QCoreApplication* app = QCoreApplication::instance())
    code = app->property("uiLanguage").toString();
  if (code.trimmed().isEmpty()) code = QLocale::system().name();
  code.replace(QLatin1Char('_'), QLatin1Char('-'));
  const qsizetype dash = code.indexOf(QLatin1Char('-'));
  if (dash > 0) code = code.left(dash);
  return code.toLower();
}

namespace {

// Routes tr() of the program's own classes to the translation table, so that a
// Russian source is looked up before numbers and names are filled into it.
// Qt's own sources are English and are left to Qt's translations.
class TableTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char*, const char* source, const char* disambiguation, int) const override {
    const QString text = QString::fromUtf8(source);
    if (!hasRussianLetter(text)) return {};
    const QString key =
        disambiguation && *disambiguation ? QString::fromUtf8(disambiguation) + QLatin1Char('|') + text : text;
    const QString translated = uiTranslate(key);
    return translated == text || translated == key ? QString() : translated;
  }
};

}  // namespace

void applyUiLanguage(const QString& code) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  app->setProperty("uiLanguage", code);
  static QPointer<TableTranslator> table;
  if (!table) {
    table = new TableTranslator(app);
    QCoreApplication::installTranslator(table);
  }
  static QPointer<QTranslator> qtTexts;
  const QString language = currentUiLanguageCode();
  // Spin boxes built from now on write numbers as the language does ("1,5").
  QLocale::setDefault(QLocale(language));
  if (qtTexts && qtTexts->property("_ulvo_language").toString() == language) return;
  // On a change, widgets that number or count their texts themselves make
  // them again; the first language needs no such event.
  if (qtTexts) {
    QCoreApplication::postEvent(app, new QEvent(QEvent::LanguageChange));
    QCoreApplication::removeTranslator(qtTexts);
    delete qtTexts;
  }
  // Qt's sources are English: English, or a language Qt has no texts for,
  // keeps them.
  auto* translator = new QTranslator(app);
  translator->setProperty("_ulvo_language", language);
  if (language != QLatin1String("en") &&
      translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  qtTexts = translator;
  // Deliver the change now: a dialog built after this call must not have the
  // texts it set on Qt's standard buttons put back by a late event.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

QString rememberedText(QObject* object, const char* property, const QString& current) {
  if (!object) return current;
  const QVariant stored = object->property(property);
  if (stored.isValid()) return stored.toString();
  object->setProperty(property, current);
  return current;
}

bool uiLanguageComesBefore(const QPair<QString, QString>& a, const QPair<QString, QString>& b) {
  const auto is = [](const QPair<QString, QString>& p, const char* code) {
    return p.first == QLatin1String(code);
  };
  if (is(a, "ru")) return !is(b, "ru");
  if (is(b, "ru")) return false;
  if (is(a, "en")) return !is(b, "en");
  if (is(b, "en")) return false;
  // The system's order, not the interface language's (which numbers follow):
  // the list must not reorder itself when a language is chosen from it.
  static const QCollator systemOrder{QLocale::system()};
  return systemOrder.compare(a.second, b.second) < 0;
}

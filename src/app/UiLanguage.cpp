#include "UiLanguage.h"

#include <QCoreApplication>
#include <QLocale>
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
  return QString::localeAwareCompare(a.second, b.second) < 0;
}

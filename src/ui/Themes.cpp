#include "Themes.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>

QString themeStyleSheetPath(bool dark) {
  return dark ? QStringLiteral(":/resources/styles/dark.qss") : QStringLiteral(":/resources/styles/light.qss");
}

void applyStyleSheetFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return;
  // The first installed family of the base font, so that controls seeded
  // from the application font (the Home tab's font box) name a real font.
  QFont base;
  for (const char* family : {"Segoe UI", "DejaVu Sans", "Noto Sans"}) {
    if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
      base.setFamily(QString::fromLatin1(family));
      break;
    }
  }
  base.setPointSizeF(9.0);  // 12 px at 96 dpi; a point size, as the page editors expect of widget fonts
  QApplication::setFont(base);
  qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
}

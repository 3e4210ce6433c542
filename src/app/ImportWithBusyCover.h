#pragma once
// A file's pages imported off the window's thread, under the busy ring: a
// PDF whose widgets have fields above them is rewritten whole on the way, and
// a large picture is decoded, which take seconds.

#include "core/PdfDocument.h"
#include "ui/BusyRing.h"
#include "ui/UiLanguage.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

inline bool importDocumentWithBusyCover(QWidget* window, PdfDocument* document, const QString& path,
                                        const QByteArray& password) {
  bool imported = false;
  runWithBusyCover(window, uiTranslate(QStringLiteral("Импортирую страницы...")),
                   [&] { imported = document->importDocument(path, password); });
  return imported;
}

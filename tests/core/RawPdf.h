#pragma once
// Hand-written PDF pages for tests that need exact control over the content
// stream: standard fonts, render modes, fill alpha, colours, /Rotate.
// Fonts: /F1 Helvetica, /F2 Helvetica-Bold, /F3 Times-Italic,
// /F4 a subset-tagged bold family name; graphics states /A4, /A5 and /A0 set
// the fill alpha to 4/255, 5/255 and 0.

#include "HandWrittenPdf.h"

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <utility>

struct RawPage {
  RawPage(QByteArray content, QSizeF size = {595, 842}, int rotate = 0, QByteArray extra = {})
      : content(std::move(content)), size(size), rotate(rotate), extra(std::move(extra)) {}
  QByteArray content;
  QSizeF size;
  int rotate;
  QByteArray extra;  // more entries of the page dictionary, e.g. a /CropBox
};

inline bool writeRawPdf(const QString& path, const QList<RawPage>& pages) {
  QStringList objects;  // object n is objects[n - 1]
  objects << "<< /Type /Catalog /Pages 2 0 R >>";
  objects << QString();  // page tree, filled in below
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>";
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Italic /Encoding /WinAnsiEncoding >>";
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Noto-Sans-Bold /Encoding /WinAnsiEncoding >>";
  const QString resources = QStringLiteral(
      "/Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 5 0 R /F4 6 0 R >> "
      "/ExtGState << /A4 << /ca 0.0157 >> /A5 << /ca 0.0196 >> /A0 << /ca 0 >> >> >>");
  QString kids;
  for (const RawPage& page : pages) {
    const qsizetype contentId = objects.size() + 2;
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %1 %2] /Rotate %3 %4 %5 /Contents %6 0 R >>")
                   .arg(page.size.width())
                   .arg(page.size.height())
                   .arg(page.rotate)
                   .arg(QString::fromLatin1(page.extra), resources)
                   .arg(contentId);
    kids += QString::number(objects.size()) + QStringLiteral(" 0 R ");
    objects << handwritten::stream(page.content);
  }
  objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids).arg(pages.size());
  return handwritten::writePdf(path, objects);
}

// One line of text: font resource, size, x, y (user space), text.
inline QByteArray textLine(const char* font, double size, double x, double y, const QByteArray& text) {
  return "BT /" + QByteArray(font) + " " + QByteArray::number(size) + " Tf " + QByteArray::number(x) + " " +
         QByteArray::number(y) + " Td (" + text + ") Tj ET\n";
}

#pragma once
// Hand-written PDF pages for tests that need exact control over the content
// stream: standard fonts, render modes, fill alpha, colours, /Rotate.
// Fonts: /F1 Helvetica, /F2 Helvetica-Bold, /F3 Times-Italic,
// /F4 a subset-tagged bold family name; graphics states /A4, /A5 and /A0 set
// the fill alpha to 4/255, 5/255 and 0.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSizeF>
#include <QString>

#include <utility>

struct RawPage {
  RawPage(QByteArray content, QSizeF size = {595, 842}, int rotate = 0, QByteArray extra = {})
      : content(std::move(content)), size(size), rotate(rotate), extra(std::move(extra)) {}
  QByteArray content;
  QSizeF size;
  int rotate;
  QByteArray extra;  // more entries of the page dictionary, e.g. a /CropBox
};

inline QByteArray rawPdfBytes(const QList<RawPage>& pages) {
  QList<QByteArray> objects;  // object n is objects[n - 1]
  objects << "<< /Type /Catalog /Pages 2 0 R >>";
  objects << QByteArray();  // page tree, filled in below
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>";
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Italic /Encoding /WinAnsiEncoding >>";
  objects << "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Noto-Sans-Bold /Encoding /WinAnsiEncoding >>";
  const QByteArray resources =
      "/Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 5 0 R /F4 6 0 R >> "
      "/ExtGState << /A4 << /ca 0.0157 >> /A5 << /ca 0.0196 >> /A0 << /ca 0 >> >> >>";
  QByteArray kids;
  for (const RawPage& page : pages) {
    const int contentId = int(objects.size()) + 2;
    objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + QByteArray::number(page.size.width()) + " " +
                   QByteArray::number(page.size.height()) + "] /Rotate " + QByteArray::number(page.rotate) + " " + page.extra + " " +
                   resources + " /Contents " + QByteArray::number(contentId) + " 0 R >>";
    kids += QByteArray::number(objects.size()) + " 0 R ";
    objects << "<< /Length " + QByteArray::number(page.content.size()) + " >>\nstream\n" + page.content +
                   "\nendstream";
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages.size()) + " >>";

  QByteArray pdf = "%PDF-1.7\n";
  QList<qsizetype> offsets;
  for (qsizetype i = 0; i < objects.size(); ++i) {
    offsets << pdf.size();
    pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
}

inline bool writeRawPdf(const QString& path, const QList<RawPage>& pages) {
  QFile file(path);
  const QByteArray bytes = rawPdfBytes(pages);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One line of text: font resource, size, x, y (user space), text.
inline QByteArray textLine(const char* font, double size, double x, double y, const QByteArray& text) {
  return "BT /" + QByteArray(font) + " " + QByteArray::number(size) + " Tf " + QByteArray::number(x) + " " +
         QByteArray::number(y) + " Td (" + text + ") Tj ET\n";
}

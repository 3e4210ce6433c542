#include "PopplerOracles.h"

#include "TestSupport.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

using testsupport::runTool;

namespace oracles {

bool qpdfCheckPasses(const QString& file) {
  QByteArray out;
  return runTool("qpdf", {"--check", file}, &out) == 0;
}

QStringList pageTexts(const QString& file) {
  QByteArray out;
  if (runTool("pdftotext", {"-enc", "UTF-8", file, "-"}, &out) != 0) return {"<pdftotext failed>"};
  QStringList pages = QString::fromUtf8(out).split(QLatin1Char('\f'));
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
  for (QString& page : pages) page = page.trimmed();
  return pages;
}

QString pageText(const QString& file, int page, const QStringList& extra) {
  QByteArray out;
  const QString number = QString::number(page + 1);
  if (runTool("pdftotext", extra + QStringList{"-enc", "UTF-8", "-f", number, "-l", number, file, "-"}, &out) != 0)
    return "<pdftotext failed>";
  return QString::fromUtf8(out);
}

QList<QRectF> wordBoxes(const QString& file, int page, const QString& word, double shownHeight) {
  const QRegularExpression box(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  QList<QRectF> boxes;
  const QString xml = pageText(file, page, {"-cropbox", "-bbox"});
  for (auto it = box.globalMatch(xml); it.hasNext();) {
    const auto m = it.next();
    if (m.captured(5) != word) continue;
    const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
    const double x1 = m.captured(3).toDouble(), y1 = m.captured(4).toDouble();
    boxes.append(QRectF(x0, shownHeight - y1, x1 - x0, y1 - y0));
  }
  return boxes;
}

QList<PageInfo> pdfinfoPages(const QString& file) {
  QByteArray out;
  if (runTool("pdfinfo", {"-f", "1", "-l", "100000", file}, &out) != 0) return {};
  QList<PageInfo> pages;
  const QRegularExpression size(R"(Page\s+(\d+) size:\s+([\d.]+) x ([\d.]+) pts)");
  const QRegularExpression rot(R"(Page\s+(\d+) rot:\s+(\d+))");
  const QString text = QString::fromUtf8(out);
  for (auto it = size.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    pages.append({QSizeF(m.captured(2).toDouble(), m.captured(3).toDouble()), 0});
  }
  for (auto it = rot.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    const int index = m.captured(1).toInt() - 1;
    if (index >= 0 && index < pages.size()) pages[index].rotation = m.captured(2).toInt();
  }
  return pages;
}

QList<QSize> imageSizes(const QString& file) {
  QByteArray out;
  if (runTool("pdfimages", {"-list", file}, &out) != 0) return {};
  QList<QSize> sizes;
  // page num type width height ...; the first two lines are the header.
  const QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
  for (qsizetype i = 2; i < lines.size(); ++i) {
    const QStringList cols = lines.at(i).split(' ', Qt::SkipEmptyParts);
    if (cols.size() > 4 && cols.at(2) == QLatin1String("image")) sizes.append(QSize(cols.at(3).toInt(), cols.at(4).toInt()));
  }
  return sizes;
}

QImage renderWithPoppler(const QString& file, int page, int dpi) {
  QTemporaryDir dir;
  if (!dir.isValid()) return {};
  const QString prefix = dir.filePath("page");
  const QString number = QString::number(page + 1);
  if (runTool("pdftoppm", {"-cropbox", "-r", QString::number(dpi), "-f", number, "-l", number, "-png", "-singlefile", file,
                           prefix}) != 0)
    return {};
  return QImage(prefix + ".png");
}

}  // namespace oracles

#include "PopplerOracles.h"

#include "TestSupport.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <QTemporaryDir>

using testsupport::runTool;

namespace oracles {

bool qpdfCheckPasses(const QString& file, const QString& password) {
  QByteArray out;
  return runTool("qpdf", {"--check", "--password=" + password, file}, &out) == 0;
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

QList<QPair<QString, QRectF>> pageWords(const QString& file, int page, double shownHeight) {
  const QRegularExpression box(
      R"re(<word xMin="(-?[\d.]+)" yMin="(-?[\d.]+)" xMax="(-?[\d.]+)" yMax="(-?[\d.]+)">([^<]*)</word>)re");
  QList<QPair<QString, QRectF>> words;
  const QString xml = pageText(file, page, {"-cropbox", "-bbox"});
  for (auto it = box.globalMatch(xml); it.hasNext();) {
    const auto m = it.next();
    const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
    const double x1 = m.captured(3).toDouble(), y1 = m.captured(4).toDouble();
    words.append({m.captured(5), QRectF(x0, shownHeight - y1, x1 - x0, y1 - y0)});
  }
  return words;
}

QList<QRectF> wordBoxes(const QString& file, int page, const QString& word, double shownHeight) {
  QList<QRectF> boxes;
  for (const auto& [text, box] : pageWords(file, page, shownHeight))
    if (text == word) boxes.append(box);
  return boxes;
}

QStringList missingWords(QStringList before, QStringList after) {
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  QStringList missing;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(missing));
  return missing;
}

QString keptFault(const QString& input, const QString& saved, const QList<QRectF>& changed, double shownHeight) {
  QList<QRectF> holes, removed;
  for (const QRectF& c : changed) holes << c.adjusted(-4, -4, 4, 4);
  const auto kept = [&](const QRectF& r) {
    return std::none_of(holes.begin(), holes.end(), [&](const QRectF& h) { return h.intersects(r); });
  };
  const double k = 72 / 50.0;  // points per pixel
  for (const int page : {0, 1}) {
    const QImage a = renderWithPoppler(input, page, 50), b = renderWithPoppler(saved, page, 50);
    if (page == 1 && a.isNull()) break;
    QStringList before, after;
    for (const auto& [word, box] : pageWords(input, page, shownHeight)) {
      if (page == 1 || kept(box)) before << word;
      else removed << box;
    }
    holes += removed;  // where poppler drew the changed words, as pdfium may place them elsewhere
    for (const auto& word : pageWords(saved, page, shownHeight)) after << word.first;
    if (const QStringList lost = missingWords(before, after); !lost.isEmpty())
      return QStringLiteral("poppler no longer reads on page %1: ").arg(page + 1) + lost.join(QLatin1Char(' '));
    if (a.isNull() || a.size() != b.size()) return QStringLiteral("page %1 is not rendered alike").arg(page + 1);
    int outside = 0, differing = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        if (page == 1 || kept(QRectF(x * k, shownHeight - (y + 1) * k, k, k))) {
          ++outside;
          differing += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 85;
        }
    if (differing > 0.001 * outside)
      return QStringLiteral("the ink of page %1 changed in %2 % of its pixels").arg(page + 1).arg(
          100.0 * differing / outside, 0, 'f', 2);
  }
  return {};
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

namespace {

ViewerReading readWith(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  ViewerReading reading;
  if (!process.waitForStarted()) return reading;
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished();
    reading.complaints << QStringLiteral("<hangs>");
    return reading;
  }
  reading.ran = process.exitStatus() == QProcess::NormalExit;
  reading.text = QString::fromUtf8(process.readAllStandardOutput());
  static const QRegularExpression numbers(QStringLiteral("\\(?-?\\d+\\)?|0x[0-9a-f]+|\\d+"));
  for (const QString& line : QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'))) {
    static const QRegularExpression quoted(QStringLiteral("'/[^']*'"));
    const QString complaint =
        QString(line).replace(quoted, QStringLiteral("'file'")).replace(numbers, QStringLiteral("#")).trimmed();
    if (!complaint.isEmpty() && !reading.complaints.contains(complaint)) reading.complaints << complaint;
  }
  return reading;
}

}  // namespace

ViewerReading popplerReading(const QString& file, int page) {
  const QString number = QString::number(page + 1);
  return readWith("pdftotext", {"-enc", "UTF-8", "-f", number, "-l", number, file, "-"});
}

ViewerReading mupdfReading(const QString& file, int page) {
  return readWith("mutool", {"draw", "-q", "-F", "txt", "-o", "-", file, QString::number(page + 1)});
}

ViewerReading ghostscriptReading(const QString& file, int page) {
  // Ghostscript prints its complaints where it prints text: the text goes to a file.
  QTemporaryDir dir;
  const QString text = dir.filePath(QStringLiteral("page.txt"));
  const QString number = QString::number(page + 1);
  ViewerReading reading = readWith("gs", {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=txtwrite",
                                          "-dFirstPage=" + number, "-dLastPage=" + number, "-sOutputFile=" + text, file});
  QFile out(text);
  reading.text = out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()) : QString();
  return reading;
}

int inkIn(const QImage& render, const QRectF& shown, double pageHeight, double dpi) {
  const double k = dpi / 72.0;
  const QRect r = QRectF(shown.x() * k, (pageHeight - shown.bottom()) * k, shown.width() * k, shown.height() * k)
                      .toAlignedRect()
                      .intersected(render.rect());
  int ink = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) ink += qGray(render.pixel(x, y)) < 128 ? 1 : 0;
  return ink;
}

double fieldInk(const QImage& render, const QString& form, double pageHeight, double dpi) {
  QByteArray json;
  runTool("qpdf", {"--json=2", "--json-key=qpdf", form, "-"}, &json);
  double ink = 0;
  for (const QJsonValue& object : QJsonDocument::fromJson(json)["qpdf"][1].toObject()) {
    const QJsonArray r = object["value"]["/Rect"].toArray();
    const QRectF field(QPointF(r[0].toDouble(), r[1].toDouble()), QPointF(r[2].toDouble(), r[3].toDouble()));
    if (object["value"]["/Subtype"] == "/Widget") ink += inkIn(render, field.normalized(), pageHeight, dpi);
  }
  return ink;
}

QString editReadBackFault(const QString& input, const QString& saved, const QString& word, const QRectF& place,
                          const QSizeF& page) {
  const oracles::ViewerReading before = oracles::popplerReading(input, 0);
  const oracles::ViewerReading poppler = oracles::popplerReading(saved, 0);
  if (!poppler.text.contains(word)) return QStringLiteral("poppler does not read the new line");
  // An input poppler reads only by rebuilding its cross-reference table is
  // rebuilt by pdfium as well, in its own way: only the content counts there.
  static const QRegularExpression structure(QStringLiteral("xref|XRef|trailer"));
  const bool damaged = std::any_of(before.complaints.begin(), before.complaints.end(),
                                   [](const QString& c) { return c.contains(structure); });
  for (const QString& complaint : poppler.complaints)
    if (!before.complaints.contains(complaint) && !(damaged && complaint.contains(structure)))
      return QStringLiteral("poppler: ") + complaint;
  const oracles::ViewerReading mupdfBefore = oracles::mupdfReading(input, 0);
  if (mupdfBefore.ran && !mupdfBefore.text.trimmed().isEmpty()) {
    const oracles::ViewerReading mupdf = oracles::mupdfReading(saved, 0);
    if (!mupdf.text.contains(word)) return QStringLiteral("mupdf does not read it");
    for (const QString& complaint : mupdf.complaints)
      if (!mupdfBefore.complaints.contains(complaint)) return QStringLiteral("mupdf: ") + complaint;
  }
  if (!oracles::ghostscriptReading(input, 0).text.trimmed().isEmpty() &&
      !oracles::ghostscriptReading(saved, 0).text.contains(word))
    return QStringLiteral("ghostscript does not read it");
  // Where the editor showed the line, inside the page.
  const QList<QRectF> boxes = oracles::wordBoxes(saved, 0, word, page.height());
  if (boxes.isEmpty()) return QStringLiteral("no box for the new line");
  // A face with taller ascenders may reach a little past an edge the line touched.
  const QRectF box = boxes.first();
  if (!QRectF(QPointF(0, 0), page).contains(box.center()))
    return QStringLiteral("written outside the page at %1,%2").arg(box.x()).arg(box.y());
  const double slack = std::max(place.height(), 12.0);
  if (!place.adjusted(-slack, -slack, page.width(), slack).contains(box.center()))
    return QStringLiteral("written at %1,%2, not in its line at %3,%4").arg(box.x()).arg(box.y()).arg(place.x()).arg(place.y());
  // Fine enough that small light text has pixels of its full colour.
  const QImage render = oracles::renderWithPoppler(saved, 0, 144);
  if (render.isNull()) return QStringLiteral("pdftoppm failed");
  if (inkIn(render, box, page.height(), 144) == 0) return QStringLiteral("the new line is not drawn");
  return {};
}

QList<TracedGlyph> tracedGlyphs(const QString& file, int page) {
  QByteArray trace;
  QList<TracedGlyph> glyphs;
  if (runTool("mutool", {"trace", file, QString::number(page + 1)}, &trace) != 0) return glyphs;
  static const QRegularExpression item(QStringLiteral(
      "<(fill|stroke|clip|clip_stroke|ignore)_text([^>]*)>|<span font=\"([^\"]*)\"[^>]* trm=\"([^\"]*)\"|"
      "<g unicode=\"([^\"]*)\" glyph=\"([^\"]*)\" x=\"([-0-9.e]+)\" y=\"([-0-9.e]+)\"(?: adv=\"([-0-9.e]+)\")?"));
  static const QRegularExpression attribute(QStringLiteral("(\\w+)=\"([^\"]*)\""));
  const auto numbers = [](const QString& text) {
    std::vector<double> out;
    for (const QString& n : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) out.push_back(n.toDouble());
    out.resize(6, 0);
    return out;
  };
  QString font, paint;
  QTransform ctm, trm;
  for (auto it = item.globalMatch(QString::fromUtf8(trace)); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (m.capturedLength(1) > 0) {
      paint = m.captured(1);
      for (auto a = attribute.globalMatch(m.captured(2)); a.hasNext();) {
        const QRegularExpressionMatch kv = a.next();
        if (kv.captured(1) == QLatin1String("transform")) {
          const auto v = numbers(kv.captured(2));
          ctm = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
        } else if (kv.captured(1) == QLatin1String("color") || kv.captured(1) == QLatin1String("alpha")) {
          paint += QLatin1Char(' ') + kv.captured(2);
        }
      }
    } else if (m.capturedLength(3) > 0) {
      font = m.captured(3);
      const auto v = numbers(m.captured(4));
      trm = QTransform(v[0], v[1], v[2], v[3], 0, 0);
    } else {
      TracedGlyph g{font, m.captured(5), m.captured(8).toDouble(), m.captured(6), paint, {}, {}, 0, 0, 0};
      g.at = ctm.map(QPointF(m.captured(7).toDouble(), g.y));
      g.drawn = trm * QTransform(ctm.m11(), ctm.m12(), ctm.m21(), ctm.m22(), g.at.x(), g.at.y());
      g.advance = m.captured(9).toDouble();
      g.across = std::hypot(g.drawn.m11(), g.drawn.m12());
      g.up = std::hypot(g.drawn.m21(), g.drawn.m22());
      glyphs.push_back(g);
    }
  }
  return glyphs;
}

int repeatedFontPrograms(const QString& file) {
  QByteArray json;
  if (runTool("qpdf", {"--json=2", "--json-key=qpdf", "--json-stream-data=inline", "--decode-level=generalized", file,
                       "-"},
              &json) != 0)
    return -1;
  const QJsonObject objects = QJsonDocument::fromJson(json).object().value("qpdf").toArray().at(1).toObject();
  QSet<QString> programs;
  for (auto it = objects.begin(); it != objects.end(); ++it) {
    const QJsonObject value = it.value().toObject().value("value").toObject();
    for (const char* key : {"/FontFile", "/FontFile2", "/FontFile3"})
      if (value.contains(QLatin1String(key))) programs.insert(value.value(QLatin1String(key)).toString());
  }
  QSet<QString> seen;
  int repeated = 0;
  for (const QString& ref : programs) {
    const QString data = objects.value("obj:" + ref).toObject().value("stream").toObject().value("data").toString();
    if (seen.contains(data)) ++repeated;
    seen.insert(data);
  }
  return repeated;
}

}  // namespace oracles

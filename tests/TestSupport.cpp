#include "TestSupport.h"

#include <QFile>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace testsupport {

int DialogAttention::waiting = 0;
int DialogAttention::driving = 0;

QString corpusDir() { return QStringLiteral(ULVO_CORPUS_DIR); }
QString testDataDir() { return QStringLiteral(ULVO_TEST_DATA_DIR); }

int runTool(const QString& program, const QStringList& args, QByteArray* output, int timeoutMs) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForStarted()) return -1;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  if (output) *output = process.readAllStandardOutput();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool hasTool(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

bool writeDrawnPdf(const QString& path, int pageCount, QSizeF size, double fontPoints,
                   const std::function<void(QPainter&, int)>& draw) {
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setPageSize(QPageSize(size, QPageSize::Point));
  QPainter painter;
  if (!painter.begin(&writer)) return false;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(fontPoints);
  painter.setFont(font);
  for (int page = 0; page < pageCount; ++page) {
    if (page > 0 && !writer.newPage()) return false;
    painter.save();
    draw(painter, page);
    painter.restore();
  }
  return painter.end();
}

bool writePdf(const QString& path, const QList<PageSpec>& pages) {
  if (pages.isEmpty()) return false;
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  for (qsizetype i = 0; i < pages.size(); ++i) {
    const PageSpec& wanted = pages.at(i);
    writer.setPageSize(QPageSize(wanted.sizePoints, QPageSize::Point));
    if (i == 0) {
      if (!painter.begin(&writer)) return false;
    } else if (!writer.newPage()) {
      return false;
    }
    if (wanted.drawShapes) {
      painter.fillRect(QRectF(60, 400, 200, 120), QColor(30, 90, 200));
      painter.setBrush(QColor(220, 40, 40));
      painter.drawEllipse(QRectF(300, 420, 150, 90));
    }
    if (!wanted.text.isEmpty()) {
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setPointSizeF(18);
      painter.setFont(font);
      painter.setPen(Qt::black);
      const QStringList lines = wanted.text.split(QLatin1Char('\n'));
      for (qsizetype l = 0; l < lines.size(); ++l) painter.drawText(QPointF(60, 80 + 30 * l), lines.at(l));
    }
  }
  return painter.end();
}

std::pair<double, int> darkChange(const QImage& was, const QImage& now) {
  int dark = 0, kept = 0, added = 0;
  for (int y = 0; y < was.height() && y < now.height(); ++y)
    for (int x = 0; x < was.width() && x < now.width(); ++x) {
      const int before = qGray(was.pixel(x, y)), after = qGray(now.pixel(x, y));
      dark += before < 128;
      kept += before < 128 && after < 160;
      added += before >= 160 && after < 100;
    }
  return {dark > 0 ? double(kept) / dark : 0.0, added};
}

double meanChannelDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 255.0;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) {
      sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
             std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
  }
  return sum / (3.0 * x.width() * x.height());
}

QList<PdfImageInfo> listPdfImages(const QString& pdf) {
  QByteArray out;
  QList<PdfImageInfo> images;
  if (runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}, &out) != 0) return images;
  const QList<QByteArray> lines = out.split('\n');
  // Two heading lines, then: page num type width height color comp bpc enc ...
  for (qsizetype i = 2; i < lines.size(); ++i) {
    const QStringList f = QString::fromUtf8(lines.at(i)).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (f.size() < 9) continue;
    images.append({f[0].toInt(), f[2], QSize(f[3].toInt(), f[4].toInt()), f[5], f[7].toInt(), f[8],
                   f.size() > 13 ? f[12].toInt() : 0, f.size() > 13 ? f[13].toInt() : 0});
  }
  return images;
}

QList<QSizeF> pdfPageSizes(const QString& pdf) {
  QByteArray out;
  QList<QSizeF> sizes;
  if (runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                          QStringLiteral("99999"), pdf},
              &out) != 0)
    return sizes;
  const QRegularExpression line(QStringLiteral("Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts"));
  for (auto match = line.globalMatch(QString::fromUtf8(out)); match.hasNext();) {
    const QRegularExpressionMatch m = match.next();
    sizes << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
  }
  return sizes;
}

double peakResidentMb(const QByteArray& field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(field + ':')) return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
  return -1;
}

QByteArray tiffFile(const QList<TiffPicture>& pictures) {
  QByteArray file("II*\0\0\0\0\0", 8);
  const auto put = [&file](qint64 at, quint32 value, int width) {
    for (int i = 0; i < width; ++i) file[qsizetype(at + i)] = char(value >> (8 * i));
  };
  qint64 link = 4;  // where the offset of the next directory goes
  for (const TiffPicture& p : pictures) {
    const bool packed = p.samples == 1 && p.bits == 8;
    const qint64 data = file.size(), row = qint64(p.width) * p.samples * p.bits / 8;
    QByteArray line;
    for (qint64 left = row; packed && left > 0; left -= 128) line.append(char(1 - int(std::min<qint64>(left, 128)))).append('@');
    file += packed ? line.repeated(p.height) : QByteArray(row * p.height, '@');
    const qint64 bytes = file.size() - data, bitsAt = file.size() + file.size() % 2;
    file += QByteArray(bitsAt - file.size(), '\0') + QByteArray(1, char(p.bits)).leftJustified(2, '\0').repeated(p.samples);
    const quint32 entries[][3] = {{256, 4, quint32(p.width)}, {257, 4, quint32(p.height)},
                                  {258, 3, p.samples > 2 ? quint32(bitsAt) : quint32(p.bits)},
                                  {259, 3, packed ? 32773u : 1u}, {262, 3, quint32(p.photometric)},
                                  {273, 4, quint32(data)}, {277, 3, quint32(p.samples)}, {278, 4, quint32(p.height)},
                                  {279, 4, quint32(bytes)}, {284, 3, 1}};
    put(link, quint32(file.size()), 4);
    const qint64 directory = file.size();
    file += QByteArray(2 + 12 * 10 + 4, '\0');
    put(directory, 10, 2);
    for (int k = 0; k < 10; ++k) {
      const bool array = entries[k][0] == 258 && p.samples > 2;
      for (const auto& [at, value, width] : {std::tuple(0, entries[k][0], 2), std::tuple(2, entries[k][1], 2),
                                             std::tuple(4, entries[k][0] == 258 ? quint32(p.samples) : 1u, 4),
                                             std::tuple(8, entries[k][2], entries[k][1] == 3 && !array ? 2 : 4)})
        put(directory + 2 + 12 * k + at, value, width);
    }
    link = directory + 2 + 12 * 10;
  }
  return file;
}

}  // namespace testsupport

#include "ExportTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>

namespace exporttest {

QImage scannedLookingPage(int seed, QSize pixels) {
  QImage page(pixels, QImage::Format_RGB32);
  QRandomGenerator random(quint32(seed) * 2654435761u + 1);
  // Coarse grain across the paper-white threshold, in cells of 4 pixels, so that no
  // setting, not even 1-bit at 72 dpi, can flatten it.
  QPainter painter(&page);
  for (int y = 0; y < page.height(); y += 4)
    for (int x = 0; x < page.width(); x += 4) {
      const int grain = int(random.bounded(128u));
      painter.fillRect(QRect(x, y, 4, 4), QColor(142 + grain, 139 + grain, 130 + grain));
    }
  const int row = std::max(8, pixels.height() / 40);
  for (int y = row * 3; y < pixels.height() * 2 / 3; y += row * 2) {
    const int width = pixels.width() * (5 + int(random.bounded(4u))) / 10;
    painter.fillRect(QRect(pixels.width() / 10, y, width, row / 2 + 2), QColor(30, 30, 40));
  }
  QLinearGradient photo(0, 0, pixels.width(), pixels.height());
  photo.setColorAt(0, QColor(180, 40, 40));
  photo.setColorAt(1, QColor(30, 90, 200));
  painter.fillRect(QRect(pixels.width() / 10, pixels.height() * 7 / 10, pixels.width() * 8 / 10, pixels.height() / 5),
                   photo);
  return page;
}

bool writeJpegPagesPdf(const QString& path, const QList<QImage>& pages, QSizeF pagePoints, int quality) {
  QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
  QList<qint64> offsets;
  const auto object = [&](const QByteArray& body) {
    offsets.append(pdf.size());
    pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  const int n = int(pages.size());
  QByteArray kids;
  for (int i = 0; i < n; ++i) kids += QByteArray::number(3 + i * 3) + " 0 R ";
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>");
  const QByteArray w = QByteArray::number(pagePoints.width());
  const QByteArray h = QByteArray::number(pagePoints.height());
  for (int i = 0; i < n; ++i) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!pages.at(i).save(&buffer, "JPEG", quality)) return false;
    const int image = 4 + i * 3;
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h + "] /Resources << /XObject << /Im0 " +
           QByteArray::number(image) + " 0 R >> >> /Contents " + QByteArray::number(image + 1) + " 0 R >>");
    object("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(pages.at(i).width()) + " /Height " +
           QByteArray::number(pages.at(i).height()) +
           " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length " +
           QByteArray::number(jpeg.size()) + " >>\nstream\n" + jpeg + "\nendstream");
    const QByteArray content = "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q";
    object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  const qint64 xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (qint64 offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

QList<ChildProcess> childProcesses(qint64 parent) {
  QList<ChildProcess> children;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    const qint64 pid = entry.toLongLong(&numeric);
    if (!numeric) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 2 || fields[0] == "Z" || fields[1].toLongLong() != parent) continue;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
    ChildProcess child{pid, {}};
    if (cmdline.open(QIODevice::ReadOnly))
      for (const QByteArray& argument : cmdline.readAll().split('\0'))
        if (!argument.isEmpty()) child.arguments << QString::fromLocal8Bit(argument);
    children.append(child);
  }
  return children;
}

bool goneOrZombie(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray text = stat.readAll();
  return text.mid(text.lastIndexOf(')') + 2).startsWith('Z');
}

bool waitAllGone(const QList<qint64>& pids, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!std::all_of(pids.begin(), pids.end(), goneOrZombie)) {
    if (timer.elapsed() > ms) return false;
    QThread::msleep(20);
  }
  return true;
}

}  // namespace exporttest

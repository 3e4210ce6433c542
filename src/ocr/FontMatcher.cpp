#include "ocr/FontMatcher.h"

#include "ocr/OcrTextMeasures.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const std::array<QString, 2> kFamilies = {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")};

// Black pixel counts of a binarised image and of its overlap with another.
float diceOfBinarised(const QImage& a, const QImage& b) {
  long blackA = 0, blackB = 0, both = 0;
  const int w = std::min(a.width(), b.width());
  const int h = std::min(a.height(), b.height());
  for (int y = 0; y < h; ++y) {
    const uchar* ra = a.constScanLine(y);
    const uchar* rb = b.constScanLine(y);
    for (int x = 0; x < w; ++x) {
      const bool da = ra[x] == 0;
      const bool db = rb[x] == 0;
      blackA += da;
      blackB += db;
      both += da && db;
    }
  }
  if (blackA + blackB == 0) return 0.0f;
  return 2.0f * float(both) / float(blackA + blackB);
}

int whiteSpaceCount(const QString& text) {
  return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }));
}

}  // namespace

QRect darkBounds(const QImage& image) {
  if (image.isNull()) return QRect(0, 0, 0, 0);
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  int left = grey.width(), top = grey.height(), right = -1, bottom = -1;
  for (int y = 0; y < grey.height(); ++y) {
    const uchar* row = grey.constScanLine(y);
    for (int x = 0; x < grey.width(); ++x) {
      if (row[x] >= 190) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return QRect(0, 0, 0, 0);
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

QColor FontMatcher::estimateTextColor(const QImage& image) {
  if (image.isNull()) return Qt::black;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  long inkCount = 0, coreCount = 0;
  long inkSum[3] = {0, 0, 0};
  long coreSum[3] = {0, 0, 0};
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) {
      const int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
      const int l = 11 * r + 16 * g + 5 * b;
      if (l >= 5920) continue;
      ++inkCount;
      inkSum[0] += r;
      inkSum[1] += g;
      inkSum[2] += b;
      if (l / 32 < 125) {
        ++coreCount;
        coreSum[0] += r;
        coreSum[1] += g;
        coreSum[2] += b;
      }
    }
  }
  if (inkCount == 0) return Qt::black;
  const long minCore = inkCount > 29 ? inkCount / 5 : 5;
  // Antialiased edges pull the mean towards the paper; the dark core of the
  // strokes carries the real colour unless there is too little of it.
  const bool useInk = coreCount < minCore && coreCount != inkCount;
  const long* sum = useInk ? inkSum : coreSum;
  const long count = useInk ? inkCount : coreCount;
  return QColor(int(sum[0] / count), int(sum[1] / count), int(sum[2] / count));
}

QImage FontMatcher::binarize(const QImage& image) {
  QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  for (int y = 0; y < grey.height(); ++y) {
    uchar* row = grey.scanLine(y);
    for (int x = 0; x < grey.width(); ++x) row[x] = row[x] < 160 ? 0 : 255;
  }
  return grey;
}

float FontMatcher::dice(const QImage& a, const QImage& b) {
  if (a.isNull() || b.isNull()) return 0.0f;
  const QImage scaled = a.size() == b.size() ? a : a.scaled(b.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return diceOfBinarised(binarize(scaled), binarize(b));
}

QImage FontMatcher::renderBlock(const QString& text, const QString& family, float size, bool bold, bool italic, int w,
                                int h) {
  QImage canvas(std::max(w, 1), std::max(h, 1), QImage::Format_Grayscale8);
  canvas.fill(255);
  QFont font(family);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  font.setItalic(italic);
  font.setPixelSize(std::max(int(size), 6));
  QPainter painter(&canvas);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(QPoint(2, 2), QPoint(w - 3, h - 3)), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
  return canvas;
}

FontMatchResult FontMatcher::match(const QImage& crop, const QString& text, float sizeHint) {
  FontMatchResult result;
  const int lineCount = int(text.count(u'\n')) + 1;
  result.size = std::clamp(sizeHint / float(lineCount) * 0.72f, 6.0f, 48.0f);
  result.color = estimateTextColor(crop);
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty() || crop.isNull() || crop.width() < 8 || crop.height() < 8) return result;

  const double s = std::min({1.0, 180.0 / crop.width(), 54.0 / crop.height()});
  const QImage working =
      s < 0.999 ? crop.scaled(std::max(int(std::lround(crop.width() * s)), 8),
                              std::max(int(std::lround(crop.height() * s)), 8), Qt::IgnoreAspectRatio,
                              Qt::SmoothTransformation)
                : crop;
  const QRect ink = darkBounds(working);
  if (!ink.isValid()) return result;
  const QImage workingBinary = binarize(working);

  const double pxPerPoint = sizeHint > 0 ? working.height() / double(sizeHint) : 2.0;
  const double capitalRatio = uppercaseRatio(trimmed);
  const int inkH = ink.bottom() - ink.top();
  const int inkW = ink.right() - ink.left();
  const int minPx = std::max(int(std::floor(0.72 * (inkH + 1))), 5);
  const int maxPx = std::min(std::max(int(std::ceil(1.85 * (inkH + 1))), minPx + 3), 220);
  const double heightNorm = inkH != 0 ? inkH + 1 : 1;
  const int spaces = whiteSpaceCount(trimmed);

  double best = -1.0;
  QStringList resolvedFamilies;
  for (const QString& family : kFamilies) {
    // Two names of one installed face would only score the same renderings twice.
    const QString resolved = QFontInfo(QFont(family)).family();
    if (resolvedFamilies.contains(resolved)) continue;
    resolvedFamilies << resolved;
    for (const bool bold : {false, true}) {
      for (int px = minPx; px <= maxPx; px += 2) {
        QFont font(family);
        font.setWeight(bold ? QFont::Bold : QFont::Normal);
        font.setItalic(false);
        font.setPixelSize(px);
        if (trimmed.size() > 1 && inkW != 0) {
          const double advance = std::max(QFontMetricsF(font).horizontalAdvance(trimmed), 1.0);
          const double diff = (inkW + 1) - advance;
          if (std::abs(diff) >= std::max(0.06 * px, 0.6)) {
            if (spaces > 0 && diff > 0) {
              font.setWordSpacing(std::min(diff / spaces, 2.6 * px));
            } else {
              const double spacing =
                  std::max(std::min(0.22 * px, diff / std::max<qsizetype>(trimmed.size() - 1, 1)), -0.08 * px);
              if (std::abs(spacing) >= 0.05) font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
            }
          }
        }

        QImage canvas(working.size(), QImage::Format_Grayscale8);
        canvas.fill(255);
        {
          QPainter painter(&canvas);
          painter.setRenderHint(QPainter::TextAntialiasing, true);
          painter.setPen(Qt::black);
          painter.setFont(font);
          const QRectF tight = QFontMetricsF(font).tightBoundingRect(trimmed);
          if (tight.width() > 0 && tight.height() > 0) {
            painter.drawText(QPointF(ink.left() - tight.x(), ink.top() - tight.y()), trimmed);
          }
        }

        double score = diceOfBinarised(binarize(canvas), workingBinary);
        const QRect drawn = darkBounds(canvas);
        if (drawn.isValid()) {
          const int dh = drawn.bottom() - drawn.top();
          const int dw = drawn.right() - drawn.left();
          score -= 0.22 * std::abs(dh - inkH) / heightNorm + 0.08 * std::abs(dw - inkW) / double(inkW != 0 ? inkW + 1 : 1);
        }
        // Bold is rare in running text; it must win clearly unless the line
        // is set in capitals.
        if (bold && capitalRatio < 0.72) score -= 0.045;
        const QString lower = family.toLower();
        if (lower.contains(u"arial") || lower.contains(u"sans")) score -= 0.018;
        if (score > best) {
          result.family = QFontInfo(font).family();
          result.bold = bold;
          result.italic = false;
          best = score;
          result.size = std::clamp(float(px / pxPerPoint), 5.0f, 72.0f);
        }
      }
    }
  }
  result.size = std::max(std::clamp(sizeHint * 0.98f, 5.0f, 72.0f), result.size);
  return result;
}

#pragma once
// A shown main window over a page written for the test, and the readings of
// the saved file the edit road tests compare against: poppler's words and
// boxes, its rendering, and the preview the window painted.

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <cmath>
#include <memory>

namespace apptest {

using testsupport::hasTool;
using testsupport::runTool;

constexpr double kZoom = 1.5;
constexpr QSizeF kPage(595, 842);

class PreviewWindow : public TestWindow {
 public:
  using MainWindow::boldButton;
  using MainWindow::fontSizeSpin;
  using MainWindow::growFontButton;
  using MainWindow::italicButton;
};

struct Line {
  QPointF at;  // baseline start, points from the top-left
  QString text;
  bool rightAligned = false;  // `at.x` is then the right edge
  bool centred = false;       // `at.x` is then the centre
  QColor colour = Qt::black;
  double size = 11;
};

inline bool writeSerifPdf(const QString& path, const QList<Line>& lines) {
  return testsupport::writeDrawnPdf(path, 1, kPage, 11, [&lines](QPainter& painter, int) {
    QFont font(QStringLiteral("Liberation Serif"));
    for (const Line& line : lines) {
      font.setPointSizeF(line.size);
      painter.setFont(font);
      painter.setPen(line.colour);
      QPointF at = line.at;
      if (line.rightAligned) at.rx() -= painter.fontMetrics().horizontalAdvance(line.text);
      if (line.centred) at.rx() -= painter.fontMetrics().horizontalAdvance(line.text) / 2.0;
      painter.drawText(at, line.text);
    }
  });
}

struct Word {
  QString text;
  QRectF box;  // points, top-left origin
};

inline QList<Word> bboxWords(const QString& path, int page = 1) {
  QList<Word> words;
  static const QRegularExpression re(QStringLiteral(
      "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
  for (auto it = re.globalMatch(oracles::pageText(path, page - 1, {"-bbox"})); it.hasNext();) {
    const auto m = it.next();
    const QRectF box(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                     QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    words.append({m.captured(5).replace("&amp;", "&"), box});
  }
  return words;
}

// One run of glyphs in one font as mutool traces it: the font's name, the
// text, and the baseline (user space) of its first glyph.
struct TracedRun {
  QString font;
  QString text;
  double baseline = 0;
};

inline QList<TracedRun> tracedRuns(const QString& path) {
  QByteArray out;
  if (runTool("mutool", {"trace", path}, &out) != 0) return {};
  static const QRegularExpression span(QStringLiteral("<span font=\"([^\"]*)\""));
  static const QRegularExpression glyph(QStringLiteral("<g unicode=\"([^\"]*)\"[^>]* y=\"([-\\d.]+)\""));
  QList<TracedRun> runs;
  for (const QString& line : QString::fromUtf8(out).split('\n')) {
    if (const auto m = span.match(line); m.hasMatch()) {
      runs.append({m.captured(1), {}, 0});
    } else if (const auto g = glyph.match(line); g.hasMatch() && !runs.isEmpty()) {
      if (runs.last().text.isEmpty()) runs.last().baseline = g.captured(2).toDouble();
      QString c = g.captured(1);
      runs.last().text += c == "&quot;" ? QStringLiteral("\"") : c == "&amp;" ? QStringLiteral("&") : c;
    }
  }
  return runs;
}

inline QString pageText(const QString& path) { return oracles::pageText(path, 0).simplified(); }

// Mean absolute grey difference of two images of one size, 0..255. Pixels
// of the editor's blue block outlines in `shown` are left out.
inline double meanDifference(const QImage& shown, const QImage& saved) {
  const QImage a = shown.convertToFormat(QImage::Format_RGB32);
  const QImage b = saved.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  qint64 count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      if (qBlue(p) > qRed(p) + 40) continue;
      sum += std::abs(qGray(p) - qGray(b.pixel(x, y)));
      ++count;
    }
  }
  return sum / std::max<qint64>(count, 1);
}

// Horizontal extent of the dark pixels (grey below 128), or an empty range.
inline std::pair<int, int> inkColumns(const QImage& image) {
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  int left = grey.width(), right = -1;
  for (int y = 0; y < grey.height(); ++y)
    for (int x = 0; x < grey.width(); ++x)
      if (grey.constScanLine(y)[x] < 128 && qBlue(image.pixel(x, y)) <= qRed(image.pixel(x, y)) + 40) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  return {left, right};
}

// Key presses for any text: QTest spells out only Latin keys.
inline void typeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x80)
      QTest::keyClick(widget, c.toLatin1());
    else
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

class EditedPageMatchesPreview : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    if (!hasTool("pdftoppm") || !hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  }

  void openWindow(const QString& file) {
    window = std::make_unique<PreviewWindow>();
    window->resize(1400, 1000);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->openFile(file);
    ASSERT_TRUE(window->currentDocument->isOpen());
    window->view->setZoom(kZoom);
  }

  QWidget* viewport() const { return window->view->viewport(); }

  // Screen rectangle of a region given in top-origin page points.
  QRect screenRect(const QRectF& topRect) const {
    const QRectF pdf(topRect.x(), window->currentDocument->pageSize(0).height() - topRect.bottom(), topRect.width(),
                     topRect.height());
    return window->view->pdfRectToScreenRect(0, pdf).toAlignedRect();
  }

  // The viewport as painted once the page render has arrived.
  QImage shownRegion(const QRectF& topRect) {
    for (int i = 0; i < 20; ++i) QTest::qWait(50);
    const QImage all = viewport()->grab().toImage();
    if (qEnvironmentVariableIsSet("ULVO_KEEP_REGIONS")) all.save(QStringLiteral("/tmp/viewport.png"));
    return all.copy(screenRect(topRect));
  }

  QImage savedRegion(const QString& file, const QRectF& topRect) {
    const QString prefix = dir.filePath(QStringLiteral("render"));
    EXPECT_EQ(runTool("pdftoppm", {"-r", QString::number(72 * kZoom), "-f", "1", "-l", "1", "-png", "-singlefile",
                                   file, prefix}),
              0);
    const QImage page(prefix + ".png");
    const QRect r = screenRect(topRect);
    return page.copy(QRectF(topRect.topLeft() * kZoom, r.size()).toRect());
  }

  // The preview and the saved page agree in the region: little grey
  // difference, and the ink spans the same columns.
  void expectSavedLikePreview(const QImage& shown, const QImage& saved, double bound) {
    ASSERT_FALSE(shown.isNull());
    ASSERT_EQ(shown.size(), saved.size());
    if (qEnvironmentVariableIsSet("ULVO_KEEP_REGIONS")) {
      static int n = 0;
      shown.save(QStringLiteral("/tmp/region-%1-shown.png").arg(n));
      saved.save(QStringLiteral("/tmp/region-%1-saved.png").arg(n++));
    }
    const double diff = meanDifference(shown, saved);
    EXPECT_LT(diff, bound) << "mean grey difference " << diff;
    const auto [shownLeft, shownRight] = inkColumns(shown);
    const auto [savedLeft, savedRight] = inkColumns(saved);
    const int tolerance = std::max(6, shown.width() / 30);
    EXPECT_NEAR(savedLeft, shownLeft, tolerance);
    EXPECT_NEAR(savedRight, shownRight, tolerance);
    std::printf("mean grey difference %.2f, ink %d..%d shown, %d..%d saved\n", diff, shownLeft, shownRight, savedLeft,
                savedRight);
  }

  // F2, and the page's blocks once its check has ended.
  void enterEditMode() {
    QTest::keyClick(window.get(), Qt::Key_F2);
    ASSERT_TRUE(pageBlocksRead(window->view));
  }

  void clickAt(const QPointF& topPoint) {
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, screenRect(QRectF(topPoint, QSizeF(1, 1))).topLeft());
  }

  void saveWithKeys() {
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::qWait(50);
    EXPECT_FALSE(window->currentDocument->isModified());
  }

  QTemporaryDir dir;
  std::unique_ptr<PreviewWindow> window;
};

}  // namespace apptest

// The editor dialog as its callers use it, its tool bar, and the refusal of
// pictures too large to edit.
#include "PaintTestRig.h"
#include "paint/FacsimileEditorDialog.h"
#include "paint/ImageSizeLimit.h"
#include "paint/LayersDock.h"
#include "paint/ToolsDock.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <QtEndian>

using namespace painttest;

namespace {

quint32 crc32(const QByteArray& data) {
  quint32 crc = 0xffffffffu;
  for (const char byte : data) {
    crc ^= quint8(byte);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
  char field[4];
  qToBigEndian(quint32(data.size()), field);
  QByteArray chunk(field, 4);
  const QByteArray body = type + data;
  chunk.append(body);
  qToBigEndian(crc32(body), field);
  return chunk.append(field, 4);
}

// A PNG that claims a size in its header and holds almost no pixel data.
QByteArray pngHeaderClaiming(quint32 width, quint32 height) {
  char fields[13] = {};
  qToBigEndian(width, fields);
  qToBigEndian(height, fields + 4);
  fields[8] = 8;  // bit depth
  fields[9] = 6;  // RGBA
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", QByteArray(fields, 13)) +
         pngChunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + pngChunk("IEND", QByteArray());
}

TEST(EditorDialog, NullPictureGivesABlankTransparentCanvas) {
  FacsimileEditorDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Редактор факсимиле");
  ASSERT_TRUE(dialog.setImage(QImage()));
  const QImage result = dialog.image();
  EXPECT_EQ(result.size(), QSize(900, 520));
  EXPECT_EQ(countPixels(result, [](QRgb p) { return qAlpha(p) != 0; }), 0);
  EXPECT_EQ(dialog.host->document->layers.first()->name, "Факсимиле");
}

TEST(EditorDialog, PictureComesBackPixelForPixel) {
  QImage picture(300, 100, QImage::Format_RGB32);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 300; ++x) picture.setPixel(x, y, qRgb(x % 256, y * 2, (x * y) % 256));
  FacsimileEditorDialog dialog;
  ASSERT_TRUE(dialog.setImage(picture));
  EXPECT_EQ(dialog.image().format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(dialog.image(), picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
  EXPECT_EQ(dialog.host->canvas->undoStack.count(), 0);
}

TEST(EditorDialog, HostileSizesAreRefusedBeforeAnyPixelIsDecoded) {
  struct Case {
    QSize size;
    bool refused;
  };
  for (const Case& c : {Case{{60000, 60000}, true}, Case{{20001, 10}, true}, Case{{10000, 6711}, true},
                        Case{{20000, 2500}, false}, Case{{8192, 8192}, false}, Case{{900, 520}, false}})
    EXPECT_EQ(!editorImageSizeProblem(c.size).isEmpty(), c.refused) << c.size.width() << "x" << c.size.height();

  QTemporaryDir dir;
  const QString path = dir.filePath("huge.png");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(pngHeaderClaiming(60000, 60000));
  file.close();
  QString problem;
  EXPECT_TRUE(readEditorImage(path, &problem).isNull());
  EXPECT_TRUE(problem.contains("60000 × 60000")) << problem.toStdString();

  FacsimileEditorDialog dialog;
  ASSERT_TRUE(dialog.setImage(QImage(300, 100, QImage::Format_ARGB32_Premultiplied)));
  QImage tooWide(20001, 2, QImage::Format_ARGB32_Premultiplied);
  tooWide.fill(Qt::red);
  EXPECT_FALSE(dialog.setImage(tooWide));
  EXPECT_EQ(dialog.image().size(), QSize(300, 100)) << "the editor keeps what it had";
}

TEST(EditorDialog, ToolBarShowsTextControlsOnlyForTheTextTool) {
  EditorRig rig;
  ToolsDock* bar = rig.host.toolsDock;
  QSignalSpy selected(bar, &ToolsDock::toolSelected);
  rig.chooseTool("text");
  EXPECT_TRUE(bar->boldAction->isVisible());
  EXPECT_TRUE(bar->fontComboAction->isVisible());
  rig.chooseTool("text");
  rig.chooseTool("wand");
  EXPECT_FALSE(bar->boldAction->isVisible());
  ASSERT_EQ(selected.size(), 3);
  EXPECT_EQ(selected[1][0].toString(), "text");
  EXPECT_EQ(rig.host.currentToolId, "wand");
  for (QToolButton* button : bar->findChildren<QToolButton*>()) {
    if (button->property("toolId").toString() == "stamp") {
      EXPECT_FALSE(button->isEnabled());
      EXPECT_EQ(button->toolTip(), "Штамп (не реализован)");
    }
    if (button->property("toolId").isValid()) {
      EXPECT_FALSE(button->icon().isNull()) << "each tool has its icon";
    }
  }
  rig.host.selectTool("stamp");
  EXPECT_EQ(rig.host.currentToolId, "brush");
}

TEST(EditorDialog, ClearEmptiesOnlyTheActiveLayerAndTheHistory) {
  EditorRig rig;
  rig.canvas()->setPrimaryColor(Qt::red);
  rig.drag({{10, 10}, {50, 50}});
  rig.host.layersDock->list->setCurrentRow(0);
  rig.host.clearImage();
  EXPECT_EQ(countPixels(rig.layerImage(0), [](QRgb p) { return qAlpha(p) != 0; }), 0);
  EXPECT_EQ(rig.canvas()->undoStack.count(), 0);
}

TEST(EditorDialog, EscapeAsksBeforeThrowingAwayUnsavedStrokes) {
  FacsimileEditorDialog dialog;
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::mousePress(dialog.host->canvas, Qt::LeftButton, {}, dialog.host->canvas->imageToWidget({20, 20}));
  QTest::mouseRelease(dialog.host->canvas, Qt::LeftButton, {}, dialog.host->canvas->imageToWidget({60, 50}));
  for (const QString answer : {"Продолжить редактирование", "Не сохранять"}) {
    auto asked = std::make_shared<bool>(false);
    whenModalShows([&dialog, answer, asked](QWidget* modal) {
      for (QPushButton* button : modal->findChildren<QPushButton*>())
        if (modal != &dialog && button->text() == answer && (*asked = true)) QTest::mouseClick(button, Qt::LeftButton);
      return *asked;
    });
    QTest::keyClick(dialog.host->canvas, Qt::Key_Escape);
    EXPECT_EQ(dialog.isVisible(), answer != "Не сохранять");  // asked each time: kept, then closed
  }
}

}  // namespace

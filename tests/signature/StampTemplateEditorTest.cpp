// The stamp template editor opened from the signature dialog: a template
// changed there (name, picture, lines) is saved, read back from disk and
// draws the very pixels its preview showed.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "paint/CanvasWidget.h"
#include "paint/FacsimileEditorDialog.h"
#include "paint/FacsimilePaintHost.h"
#include "signature/SignatureStampRendering.h"
#include "signature/SignatureStampStorage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QTimer>

using namespace signaturetest;

namespace {

void typeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QDialog* modalTitled(const QString& title) {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  return dialog && dialog->windowTitle() == title ? dialog : nullptr;
}

// Runs `drive` on the editor once it is the active modal dialog.
void whenEditorOpens(const std::function<void(QDialog*)>& drive) {
  QTimer::singleShot(0, [drive] {
    QDialog* editor = nullptr;
    if (!QTest::qWaitFor([&] { return (editor = modalTitled("Настройка штампа подписи")) != nullptr; }, 10000)) {
      ADD_FAILURE() << "the template editor did not open";
      return;
    }
    drive(editor);
  });
}

// Draws one black stroke across the middle of the picture in the image
// editor that opens next, then saves it.
void whenModalOpensEditor() {
  QTimer::singleShot(0, [] {
    FacsimileEditorDialog* paint = nullptr;
    if (!QTest::qWaitFor([&] {
          return (paint = qobject_cast<FacsimileEditorDialog*>(QApplication::activeModalWidget())) != nullptr;
        }, 10000)) {
      ADD_FAILURE() << "the image editor did not open";
      return;
    }
    EXPECT_EQ(paint->windowTitle(), "Редактор картинки штампа");
    CanvasWidget* canvas = paint->host->canvas;
    canvas->zoom = 0.5;
    canvas->offset = QPointF();
    QTest::mousePress(canvas, Qt::LeftButton, {}, canvas->imageToWidget({100, 245}));
    QTest::mouseMove(canvas, canvas->imageToWidget({300, 245}));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, canvas->imageToWidget({500, 245}));
    clickButton(paint, "Сохранить");
  });
}

int differingPixels(const QImage& first, const QImage& second) {
  const QImage a = first.convertToFormat(QImage::Format_ARGB32), b = second.convertToFormat(QImage::Format_ARGB32);
  if (a.size() != b.size()) return -1;
  int count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
  return count;
}

struct PreviewSeen {
  QImage pixels;
  QSize labelSize;
  int row = -1;
};

class StampTemplateEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useIsolatedFolders();
    QSettings().clear();
    QDir(signatureStampTemplatesDir()).removeRecursively();
    ASSERT_TRUE(folder.isValid());
    source = folder.filePath("act.pdf");
    ASSERT_TRUE(testsupport::writePdf(source, {{"Акт", false}}));
    window.openFile(source);
    ASSERT_EQ(window.activeIndex, 0);
  }

  // In the signature dialog, with the stamped mode chosen, presses
  // "Настроить шаблон..." and lets `drive` work the editor.
  QString editFromSignatureDialog(const std::function<void(QDialog*)>& drive) {
    QString selected;
    runSignatureDialog(window, [&](QDialog* dialog) {
      chooseByKeys(cell<QComboBox>(dialog, "Режим подписи", 0, 1), 3);
      whenEditorOpens(drive);
      QTest::mouseClick(cell<QPushButton>(dialog, "Видимый штамп PDF", 3, 1, 1), Qt::LeftButton);
      selected = cell<QComboBox>(dialog, "Видимый штамп PDF", 3, 1, 0)->currentData().toString();
      clickButton(dialog, "Отмена");
    });
    return selected;
  }

  QTemporaryDir folder;
  QString source;
  apptest::TestWindow window;
};

TEST_F(StampTemplateEditorTest, ChangedTemplateIsSavedAndDrawsThePixelsOfItsPreview) {
  PreviewSeen preview;
  int linesAtStart = 0;
  QString nameAtStart;
  const QString selected = editFromSignatureDialog([&](QDialog* editor) {
    // The preview fits its frame as the editor opens, before any edit.
    auto* framed = editor->findChild<QLabel*>(QStringLiteral("ScanPreview"));
    ASSERT_NE(framed, nullptr);
    EXPECT_LE(framed->pixmap().deviceIndependentSize().width(), framed->width());
    EXPECT_LE(framed->pixmap().deviceIndependentSize().height(), framed->height());
    auto* name = editor->findChildren<QLineEdit*>(QStringLiteral("ScanLineEdit")).value(0);
    auto* lines = editor->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
    nameAtStart = name->text();
    linesAtStart = lines->count();
    name->selectAll();
    typeText(name, "Штамп отдела");

    // The picture: one black stroke drawn in the image editor.
    whenModalOpensEditor();
    clickButton(editor, "Редактировать картинку");

    // A preset line, then its size, position and weight.
    auto* presets = editor->findChildren<QComboBox*>(QStringLiteral("ScanCombo")).value(0);
    while (presets->currentText() != "Отпечаток") QTest::keyClick(presets, Qt::Key_Down);
    clickButton(editor, "Вставить");
    EXPECT_EQ(lines->count(), linesAtStart + 1);
    EXPECT_EQ(lines->currentRow(), linesAtStart);
    const QList<QDoubleSpinBox*> spins = editor->findChildren<QDoubleSpinBox*>(QStringLiteral("ScanSpin"));
    ASSERT_EQ(spins.size(), 5);
    EXPECT_DOUBLE_EQ(spins[1]->value(), 55.5);  // 0.18 + 0.075 x 5 lines
    for (auto [spin, text] : {std::pair{spins[0], "20"}, std::pair{spins[4], "44"}}) {
      spin->setFocus();
      spin->selectAll();
      QTest::keyClicks(spin, text);
    }
    QTest::mouseClick(editor->findChildren<QCheckBox*>().value(0), Qt::LeftButton, {}, QPoint(4, 4));

    // The date line goes (its preview shows the clock); the one after it becomes current.
    QTest::mouseClick(lines->viewport(), Qt::LeftButton, {}, lines->visualItemRect(lines->item(3)).center());
    EXPECT_TRUE(lines->currentItem()->text().contains("{{DATETIME}}"));
    clickButton(editor, "Удалить");
    EXPECT_EQ(lines->count(), linesAtStart);

    if (qEnvironmentVariableIsSet("ULVO_TEST_SCREENSHOTS"))
      editor->grab().save(qEnvironmentVariable("ULVO_TEST_SCREENSHOTS") + "/stamp-template-editor.png");
    auto* shown = editor->findChild<QLabel*>(QStringLiteral("ScanPreview"));
    preview = {shown->pixmap().toImage(), shown->size(), lines->currentRow()};
    clickButton(editor, "Сохранить");
  });

  EXPECT_EQ(nameAtStart, "Мой штамп");
  EXPECT_EQ(linesAtStart, 5);
  ASSERT_FALSE(selected.isEmpty());
  ASSERT_NE(selected, "default");

  // Read back from disk as a later run would.
  const SignatureStampTemplate saved = loadSignatureStampTemplate(selected);
  EXPECT_EQ(saved.name, "Штамп отдела");
  EXPECT_FALSE(saved.builtIn);
  ASSERT_EQ(saved.variables.size(), 5);
  const SignatureStampVariable& added = saved.variables.last();
  EXPECT_EQ(added.text, "Отпечаток: {{THUMBPRINT}}");
  EXPECT_DOUBLE_EQ(added.x, 0.2);
  EXPECT_DOUBLE_EQ(added.fontSizePx, 44);
  EXPECT_TRUE(added.bold);
  const SignatureStampTemplate builtIn = defaultSignatureStampTemplate();
  EXPECT_EQ(saved.variables.at(3).text, builtIn.variables.at(4).text);
  EXPECT_EQ(preview.row, 3);
  // The stroke reached the stored picture.
  EXPECT_NE(saved.image.convertToFormat(QImage::Format_ARGB32).pixel(300, 245),
            defaultSignatureStampBase(kStandardStampSize).convertToFormat(QImage::Format_ARGB32).pixel(300, 245));

  const QImage again = stampTemplatePreviewPixmap(saved, preview.labelSize, preview.row).toImage();
  ASSERT_EQ(again.size(), preview.pixels.size());
  EXPECT_EQ(differingPixels(again, preview.pixels), 0);

  // The built-in template stays as it was.
  EXPECT_TRUE(loadSignatureStampTemplate("default").builtIn);

  // Cancelling changes nothing on disk.
  const QStringList before = QDir(signatureStampTemplatesDir()).entryList(QDir::Files);
  const QByteArray json = signingtest::readBytes(signatureStampTemplatesDir() + "/" + selected + ".json");
  editFromSignatureDialog([](QDialog* editor) {
    const auto picture = apptest::answerNextDialog("", "Редактор картинки штампа");
    QTest::keyClick(editor->findChildren<QLineEdit*>(QStringLiteral("ScanLineEdit")).value(1), Qt::Key_Return);
    picture->stopWaiting = true;
    EXPECT_FALSE(picture->shown) << "Enter in the line's text field opened the picture";
    clickButton(editor, "Вставить");
    clickButton(editor, "Отмена");
  });
  EXPECT_EQ(QDir(signatureStampTemplatesDir()).entryList(QDir::Files), before);
  EXPECT_EQ(signingtest::readBytes(signatureStampTemplatesDir() + "/" + selected + ".json"), json);
}

}  // namespace

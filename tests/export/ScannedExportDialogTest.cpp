// The scanned-look export driven through its dialog: one image per page at
// the source's page sizes (turned when asked), defaults stored and read
// back, a page that cannot be rendered stops the export and is named, and
// the view's block edits reach the exported page.
#include "../view/BlockTestData.h"
#include "AppTestSupport.h"
#include "ScannedExportDialog.h"
#include "TestSupport.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

using namespace apptest;

namespace {

QPushButton* buttonNamed(QWidget* dialog, const QString& text) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

// The combo box holding an item with this text.
QComboBox* comboWith(QWidget* dialog, const QString& item) {
  for (QComboBox* combo : dialog->findChildren<QComboBox*>())
    if (combo->findText(item) >= 0) return combo;
  return nullptr;
}

void chooseByKeys(QComboBox* combo, const QString& item) {
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Home);
  for (int i = 0; i < combo->findText(item); ++i) QTest::keyClick(combo, Qt::Key_Down);
}

void typePath(QWidget* dialog, const QString& path) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"));
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, path);
}

class ScannedExport : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    source = dir.filePath(QStringLiteral("mixed.pdf"));
    ASSERT_TRUE(testsupport::writePdf(source, {{QStringLiteral("Portrait page"), true, {595, 842}},
                                               {QStringLiteral("Landscape page"), true, {792, 612}}}));
    window = std::make_unique<TestWindow>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override { window.reset(); }

  // Exports the open document at 100 dpi with the given turn, in the grey
  // look when asked; returns the written path or empty.
  QString exportTurned(const QString& rotation, bool* previewShown, bool grey = false) {
    const QString typed = dir.filePath(QStringLiteral("out-%1.pdf").arg(window->documents.size()));
    whenModalOpens<ScannedExportDialog>([&](ScannedExportDialog* dialog) {
      QTest::qWait(50);  // the first preview is drawn once the dialog runs
      *previewShown = !dialog->previewLabel()->pixmap().isNull();
      chooseByKeys(comboWith(dialog, QStringLiteral("100 dpi")), QStringLiteral("100 dpi"));
      chooseByKeys(comboWith(dialog, QStringLiteral("Без поворота")), rotation);
      for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        if (box->text() == QStringLiteral("Чёрно-белый/серый скан") && box->isChecked() != grey)
          QTest::mouseClick(box, Qt::LeftButton);
      typePath(dialog, typed);
      QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
    });
    const size_t tabs = window->documents.size();
    if (!window->showScannedPdfExportDialog(QString())) return {};
    if (window->documents.size() != tabs + 1) return {};
    return window->documents.back().path;
  }

  QTemporaryDir dir;
  QString source;
  std::unique_ptr<TestWindow> window;
};

}  // namespace

TEST_F(ScannedExport, EveryPageBecomesOneImageOfItsOwnSize) {
  window->openFile(source);
  const QList<QSizeF> sourceSizes = testsupport::pdfPageSizes(source);
  ASSERT_EQ(sourceSizes.size(), 2);
  for (const QString& rotation : {QStringLiteral("Без поворота"), QStringLiteral("90° вправо")}) {
    window->activateDocument(0);
    bool previewShown = false;
    // The grey look is stored as grey pages, the colour look as colour ones.
    const bool grey = rotation != QStringLiteral("Без поворота");
    const QString written = exportTurned(rotation, &previewShown, grey);
    ASSERT_FALSE(written.isEmpty()) << rotation.toStdString();
    EXPECT_TRUE(previewShown);
    // The name typed is the name written.
    EXPECT_EQ(QFileInfo(written).fileName(), QStringLiteral("out-%1.pdf").arg(window->documents.size() - 1));
    EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), written}), 0);
    const QList<QSizeF> sizes = testsupport::pdfPageSizes(written);
    ASSERT_EQ(sizes.size(), 2);
    for (int i = 0; i < 2; ++i) {
      const QSizeF expected = rotation.startsWith(QLatin1String("90")) ? sourceSizes[i].transposed() : sourceSizes[i];
      EXPECT_NEAR(sizes[i].width(), expected.width(), 1.0) << i;
      EXPECT_NEAR(sizes[i].height(), expected.height(), 1.0) << i;
    }
    const QList<testsupport::PdfImageInfo> images = testsupport::listPdfImages(written);
    ASSERT_EQ(images.size(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(images[i].page, i + 1);
      EXPECT_EQ(images[i].type, QStringLiteral("image"));
      EXPECT_NEAR(images[i].xPpi, 100, 2);
      EXPECT_EQ(images[i].color, grey ? QStringLiteral("gray") : QStringLiteral("rgb")) << i;
      EXPECT_EQ(images[i].bitsPerComponent, 8);
      EXPECT_EQ(images[i].encoding, QStringLiteral("jpeg"));
    }
    QTemporaryDir streams;  // the JPEG streams as stored: one channel under the grey dictionary
    ASSERT_EQ(testsupport::runTool("pdfimages", {"-j", written, streams.filePath("p")}), 0);
    EXPECT_EQ(QImage(streams.filePath("p-001.jpg")).format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  }
  EXPECT_TRUE(window->statusLabel->text().endsWith(QStringLiteral(" · открыт в новой вкладке")));
}

TEST_F(ScannedExport, ANameTypedInTheFileChooserIsUsedAsTyped) {
  window->openFile(source);
  const QString typed = dir.filePath(QStringLiteral("для архива"));
  QString shown;
  whenModalOpens<ScannedExportDialog>([&](ScannedExportDialog* dialog) {
    // The suggestion names the kind of file; the user's own name does not.
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"));
    EXPECT_TRUE(edit->text().endsWith(QStringLiteral("mixed_сканированный.pdf"))) << edit->text().toStdString();
    chooseByKeys(comboWith(dialog, QStringLiteral("100 dpi")), QStringLiteral("100 dpi"));
    chooseFileInNextDialog(typed);
    QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Обзор...")), Qt::LeftButton);
    shown = edit->text();
    QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
  });
  EXPECT_TRUE(window->showScannedPdfExportDialog(QString()));
  EXPECT_EQ(shown, typed + QStringLiteral(".pdf"));
  EXPECT_EQ(window->documents.back().path, typed + QStringLiteral(".pdf"));
  EXPECT_EQ(testsupport::pdfPageSizes(typed + QStringLiteral(".pdf")).size(), 2);
}

TEST_F(ScannedExport, DefaultsAreStoredAndReadBack) {
  QSettings().setValue(QStringLiteral("export/scannedPdf/dpi"), 123);  // not offered: 200 is shown
  window->openFile(source);
  whenModalOpens<ScannedExportDialog>([](ScannedExportDialog* dialog) {
    EXPECT_EQ(comboWith(dialog, QStringLiteral("100 dpi"))->currentText(), QStringLiteral("200 dpi"));
    chooseByKeys(comboWith(dialog, QStringLiteral("100 dpi")), QStringLiteral("300 dpi"));
    QList<QSlider*> sliders = dialog->findChildren<QSlider*>();
    ASSERT_EQ(sliders.size(), 7);
    sliders.first()->setFocus();
    QTest::keyClick(sliders.first(), Qt::Key_End);  // darkness to its maximum
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
      if (box->text() == QStringLiteral("Чёрно-белый/серый скан")) QTest::mouseClick(box, Qt::LeftButton);
    QPushButton* defaults = buttonNamed(dialog, QStringLiteral("Сохранить как дефолтные"));
    QTest::mouseClick(defaults, Qt::LeftButton);
    EXPECT_EQ(defaults->text(), QStringLiteral("Дефолтные сохранены"));
    dialog->reject();
  });
  EXPECT_FALSE(window->showScannedPdfExportDialog(QString()));
  QSettings settings;
  EXPECT_EQ(settings.value(QStringLiteral("export/scannedPdf/dpi")).toInt(), 300);
  EXPECT_EQ(settings.value(QStringLiteral("export/scannedPdf/darkness")).toInt(), 50);
  EXPECT_FALSE(settings.value(QStringLiteral("export/scannedPdf/grayscale")).toBool());
  EXPECT_EQ(settings.value(QStringLiteral("export/scannedPdf/noise")).toInt(), 4);
  EXPECT_FALSE(settings.contains(QStringLiteral("export/scannedPdf/outputPath")));

  const ScannedPdfExportOptions stored = storedScannedPdfOptions();
  EXPECT_EQ(stored.dpi, 300);
  EXPECT_EQ(stored.darkness, 50);
  EXPECT_FALSE(stored.grayscale);
  whenModalOpens<ScannedExportDialog>([](ScannedExportDialog* dialog) {
    const ScannedPdfExportOptions shown = dialog->readBack();
    EXPECT_EQ(shown.dpi, 300);
    EXPECT_EQ(shown.darkness, 50);
    EXPECT_FALSE(shown.grayscale);
    dialog->reject();
  });
  EXPECT_FALSE(window->showScannedPdfExportDialog(QString()));
}

TEST_F(ScannedExport, APageThatCannotBeRenderedStopsTheExportAndIsNamed) {
  // Page 2 is 200 inches square: at 100 dpi a render beyond the pixel budget.
  const QString huge = dir.filePath(QStringLiteral("huge.pdf"));
  ASSERT_TRUE(testsupport::writePdf(huge, {{QStringLiteral("Fine page"), false, {595, 842}},
                                           {QStringLiteral("Huge page"), false, {14400, 14400}}}));
  window->openFile(huge);
  const QString typed = dir.filePath(QStringLiteral("never.pdf"));
  whenModalOpens<ScannedExportDialog>([&](ScannedExportDialog* dialog) {
    chooseByKeys(comboWith(dialog, QStringLiteral("100 dpi")), QStringLiteral("100 dpi"));
    typePath(dialog, typed);
    QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
  });
  auto seen = answerNextDialog(QStringLiteral("OK"), QStringLiteral("Ошибка экспорта"));
  EXPECT_FALSE(window->showScannedPdfExportDialog(QString()));
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("страницу 2"))) << seen->texts.toStdString();
  const QStringList left = QDir(dir.path()).entryList({QStringLiteral("never*")});
  EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
  EXPECT_EQ(window->documents.size(), size_t(1));
}

TEST_F(ScannedExport, BlockEditsOfTheViewReachTheExportedPage) {
  window->openFile(source);
  const QImage plain = window->renderPageForScannedExport(0, 1.0);
  ASSERT_FALSE(plain.isNull());
  // A block the user added, big and black, over an empty part of the page.
  TextBlock added;
  added.text = QStringLiteral("ADDED");
  added.rect = QRectF(60, 200, 300, 60);
  added.fontSize = 40;
  added.textEdited = true;
  window->view->setOcrBlocks({added}, 0, true);
  const QImage edited = window->renderPageForScannedExport(0, 1.0);
  ASSERT_EQ(edited.size(), plain.size());
  const QRect place(60, 842 - 260, 300, 60);
  EXPECT_GT(testsupport::meanChannelDifference(plain.copy(place), edited.copy(place)), 5.0);
  const QRect elsewhere(60, 842 - 120, 300, 60);
  EXPECT_LT(testsupport::meanChannelDifference(plain.copy(elsewhere), edited.copy(elsewhere)), 0.5);
  // Rich text edited in place is drawn from its HTML, scaled with the page.
  TextBlock rich = added;
  rich.richTextHtml = QStringLiteral("<p style=\"font-size:40px\">RICH</p>");
  window->view->setOcrBlocks({}, -1, false);
  const QImage plainTwice = window->renderPageForScannedExport(0, 2.0);
  window->view->setOcrBlocks({rich}, 0, true);
  const QRect richPlace(120, 2 * (842 - 260), 600, 120);
  EXPECT_GT(testsupport::meanChannelDifference(plainTwice.copy(richPlace),
                                               window->renderPageForScannedExport(0, 2.0).copy(richPlace)),
            5.0);
  // Blocks of another page leave this one as the document draws it.
  window->view->setOcrBlocks({added}, 1, true);
  EXPECT_EQ(window->renderPageForScannedExport(0, 1.0), plain);
}

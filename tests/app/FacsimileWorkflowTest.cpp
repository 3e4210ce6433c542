// Facsimiles from the window: adding a picture under a typed name, what the
// data folder then holds, and placing one on a page at its size in
// millimetres; judged by the files on disk, pdfimages and pdftotext.
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "paint/CanvasWidget.h"
#include "paint/FacsimileEditorDialog.h"
#include "paint/FacsimilePaintHost.h"
#include "paint/ToolsDock.h"
#include "signature/SignatureWorkflow.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

using namespace apptest;
using namespace testsupport;

namespace {

void clickButtonOf(QWidget* dialog, const QString& text) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->text() == text) {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  QStringList seen;
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) seen << button->text();
  ADD_FAILURE() << "no button " << text.toStdString() << " in " << dialog->windowTitle().toStdString() << ": "
                << seen.join(", ").toStdString();
}

// Key presses that carry the text, Cyrillic letters included.
void typeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QImage strip(QColor colour) {
  QImage image(600, 240, QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.fillRect(40, 60, 520, 120, colour);
  return image;
}

class FacsimileWorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(data.isValid());
    useCleanSettings();
    // The store lives in the application data folder.
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    store = facsimileFolder();
    ASSERT_TRUE(store.startsWith(data.path()));
  }

  // Runs the add command: picks `file`, checks the proposed name, types `name`.
  void add(const QString& file, const QString& proposed, const QString& name) {
    whenModalOpens<QFileDialog>([file, proposed, name](QFileDialog* chooser) {
      whenModalOpens([proposed, name](QWidget* modal) {
        if (!modal || modal->windowTitle() != QStringLiteral("Новое факсимиле")) return false;
        auto* edit = modal->findChild<QLineEdit*>();
        EXPECT_EQ(edit->text(), proposed);
        edit->selectAll();
        typeText(edit, name);
        clickButtonOf(modal, QStringLiteral("Сохранить"));
        return true;
      });
      chooser->selectFile(file);
      QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
    });
    window.onFacsimileAdd();
  }

  // Runs the add command on a file it refuses; what the error said.
  QString refusedAdd(const QString& file) {
    auto refused = answerNextDialog("OK", "Ошибка");
    whenModalOpens<QFileDialog>([file](QFileDialog* chooser) {
      chooser->selectFile(file);
      QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
    });
    window.onFacsimileAdd();
    EXPECT_TRUE(refused->shown);
    return refused->texts;
  }

  QStringList storeEntries() const {
    QStringList entries;
    for (const QString& entry : QDir(store).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
      entries << entry;
    return entries;
  }

  QTemporaryDir dir;
  QTemporaryDir data;
  QString store;
  TestWindow window;
};

TEST(FacsimileNames, TypedNamesBecomeSafeFileNames) {
  EXPECT_EQ(normalizeFacsimileName("   "), "факсимиле");
  EXPECT_EQ(normalizeFacsimileName("///"), "_");
  EXPECT_EQ(normalizeFacsimileName("a//b"), "a_b");
  EXPECT_EQ(normalizeFacsimileName("a:b*c"), "a_b_c");
  EXPECT_EQ(normalizeFacsimileName(" ..подпись.. "), "_подпись_");
  EXPECT_EQ(normalizeFacsimileName("../../etc/passwd"), "____etc_passwd");
  EXPECT_EQ(normalizeFacsimileName(".скрытое"), "_скрытое");
  EXPECT_EQ(normalizeFacsimileName("."), "_");
  EXPECT_EQ(normalizeFacsimileName("nul"), "_nul");
  EXPECT_EQ(normalizeFacsimileName("a\tb\nc"), "a_b_c");
  for (const QString& name : QStringList{"   ", "///", " ..подпись.. ", ".a/b", "CON.txt", QString(300, QChar(0x449))}) {
    const QString once = normalizeFacsimileName(name);
    EXPECT_EQ(normalizeFacsimileName(once), once) << name.toStdString();
    EXPECT_FALSE(once.contains('/'));
    EXPECT_FALSE(once.startsWith('.'));
    EXPECT_LE((once + ".png.~tmpXXXXXX").toUtf8().size(), 255);
  }
  EXPECT_EQ(defaultFacsimileSizeMm({QImage(300, 100, QImage::Format_RGB32)}), QSizeF(45, 18));
  EXPECT_EQ(defaultFacsimileSizeMm({QImage(100, 100, QImage::Format_RGB32)}), QSizeF(40, 40));
  EXPECT_EQ(defaultFacsimileSizeMm({QImage(100, 200, QImage::Format_RGB32)}), QSizeF(24, 45));
  EXPECT_EQ(defaultFacsimileSizeMm({QImage(), QImage()}), QSizeF(85, 32));
}

TEST(FacsimileSize, TypesSetTheWidthAndThePictureKeepsItsProportions) {
  // 900 x 520 pixels: every type places it at one resolution across and down.
  const QImage picture(900, 520, QImage::Format_ARGB32);
  QStringList shown;
  whenModalOpens([&](QWidget* sizeDialog) {
    if (!sizeDialog || sizeDialog->windowTitle() != "Размер факсимиле") return false;
    auto* kind = sizeDialog->findChild<QComboBox*>();
    const QList<QDoubleSpinBox*> spins = sizeDialog->findChildren<QDoubleSpinBox*>();
    const auto record = [&] {
      shown << QStringLiteral("%1 %2x%3").arg(kind->currentText()).arg(spins[0]->value()).arg(spins[1]->value());
    };
    record();
    QTest::keyClick(kind, Qt::Key_Up);  // to "Подпись"
    record();
    clickButtonOf(sizeDialog, "Установить");
    return true;
  });
  QSizeF size;
  ASSERT_TRUE(requestFacsimilePlacementSize(nullptr, {picture}, &size));
  EXPECT_EQ(shown, QStringList({"Печать 40x23.1", "Подпись 45x26"}));
  EXPECT_NEAR(900 / size.width(), 520 / size.height(), 0.1);
}

TEST_F(FacsimileWorkflowTest, AddedPicturesFollowTheirSafeNamesInTheDataFolder) {
  const QString red = dir.filePath("подпись.final.png");
  ASSERT_TRUE(strip(Qt::red).save(red));
  // A name with a folder part and a leading dot stays one visible file in the store.
  add(red, "подпись", ".тайная/подпись");
  EXPECT_EQ(storeEntries(), QStringList{"_тайная_подпись.png"});
  EXPECT_EQ(window.statusLabel->text(), "Факсимиле «_тайная_подпись» сохранено.");
  EXPECT_EQ(window.facsimileFiles(), QStringList{"_тайная_подпись.png"});
  EXPECT_EQ(QImage(store + "/_тайная_подпись.png").pixelColor(300, 120), QColor(Qt::red));

  // The same name again asks first; declining keeps the stored picture.
  const QString blue = dir.filePath("blue.png");
  ASSERT_TRUE(strip(Qt::blue).save(blue));
  auto declined = answerNextDialog("Отмена", "Факсимиле");
  add(blue, "blue", "_тайная_подпись");
  EXPECT_TRUE(declined->shown);
  EXPECT_EQ(QImage(store + "/_тайная_подпись.png").pixelColor(300, 120), QColor(Qt::red));
  auto replaced = answerNextDialog("Заменить", "Факсимиле");
  add(blue, "blue", "_тайная_подпись");
  EXPECT_TRUE(replaced->shown);
  EXPECT_EQ(QImage(store + "/_тайная_подпись.png").pixelColor(300, 120), QColor(Qt::blue));

  // A second one under another name; the listing follows the folder, hidden
  // files and files of subfolders included as the store names them.
  add(red, "подпись", "Печать");
  ASSERT_TRUE(QDir(store).mkpath("архив"));
  ASSERT_TRUE(strip(Qt::green).save(store + "/архив/старая.PNG"));
  ASSERT_TRUE(strip(Qt::green).save(store + "/.скрытая.png"));
  EXPECT_EQ(window.facsimileFiles(), (QStringList{"_тайная_подпись.png", "архив/старая.PNG", "Печать.png"}));
  EXPECT_FALSE(storeEntries().join(' ').contains(".~tmp"));

  // A picture removed from the folder leaves the list and its group.
  QDir(facsimileGroupDir(store)).mkpath(".");
  QFile group(facsimileGroupDir(store) + "/пара.json");
  ASSERT_TRUE(group.open(QIODevice::WriteOnly));
  group.write(R"({"items": ["Печать.png", "_тайная_подпись.png"], "name": "пара"})");
  group.close();
  ASSERT_TRUE(QFile::remove(store + "/Печать.png"));
  EXPECT_EQ(window.facsimileFiles(), (QStringList{"_тайная_подпись.png", "архив/старая.PNG"}));
  std::unique_ptr<QDialog> picker(
      buildFacsimilePickerDialog(store, window.facsimileFiles(), &window, true, true, true, false));
  auto* list = qobject_cast<QListWidget*>(picker->property("listWidget").value<QObject*>());
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(1)->text(), "старая\nархив");
  EXPECT_EQ(list->item(2)->text(), "Группа\nпара (1)");
  list->item(2)->setSelected(true);
  EXPECT_EQ(selectedFacsimileImageItems(list, store), QStringList{"_тайная_подпись.png"});

  // A file that is no picture is refused and nothing is written.
  const QString text = dir.filePath("notes.png");
  {
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
  }
  EXPECT_TRUE(refusedAdd(text).contains("это не изображение")) << "the reason is named";
  EXPECT_EQ(window.facsimileFiles().size(), 2);
}

// The red area of a page rendered at 10 pixels per millimetre.
QRect redArea(const QString& pdf, int page, const QString& folder) {
  const QString out = folder + "/render";
  if (runTool("pdftoppm", {"-f", QString::number(page), "-l", QString::number(page), "-r", "254", "-png",
                           "-singlefile", pdf, out}) != 0)
    return {};
  const QImage image(out + ".png");
  QRect area;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 60 && c.blue() < 60) area |= QRect(x, y, 1, 1);
    }
  return area;
}

TEST_F(FacsimileWorkflowTest, EditingWithAnEmptyStoreAsksForANameAndStoresTheEditorsPicture) {
  whenModalOpens([](QWidget* modal) {
    if (!modal || modal->windowTitle() != QStringLiteral("Новое факсимиле")) return false;
    whenModalOpens([](QWidget* editor) {
      auto* dialog = qobject_cast<FacsimileEditorDialog*>(editor);
      if (!dialog || editor->windowTitle() != QStringLiteral("Редактор факсимиле")) return false;
      // A rectangle drawn and saved at once, while it is still being placed.
      QTest::qWait(20);
      CanvasWidget* canvas = dialog->host->canvas;
      for (QToolButton* tool : dialog->host->toolsDock->findChildren<QToolButton*>())
        if (tool->property("toolId").toString() == QStringLiteral("rect")) QTest::mouseClick(tool, Qt::LeftButton);
      QTest::mousePress(canvas, Qt::LeftButton, {}, canvas->imageToWidget({200, 150}));
      QTest::mouseMove(canvas, canvas->imageToWidget({400, 250}));
      QTest::mouseRelease(canvas, Qt::LeftButton, {}, canvas->imageToWidget({600, 350}));
      clickButtonOf(editor, QStringLiteral("Сохранить"));
      return true;
    });
    auto* edit = modal->findChild<QLineEdit*>();
    EXPECT_EQ(edit->text(), "факсимиле");
    edit->selectAll();
    typeText(edit, "Печать/отдела");
    clickButtonOf(modal, QStringLiteral("Сохранить"));
    return true;
  });
  window.onFacsimileEdit();
  EXPECT_EQ(window.facsimileFiles(), QStringList{"Печать_отдела.png"});
  const QImage stored(store + "/Печать_отдела.png");
  EXPECT_EQ(stored.size(), QSize(900, 520));
  // The rectangle's outline is in the picture; inside and outside it stay clear.
  for (const QPoint& edge : {QPoint(200, 250), QPoint(600, 250), QPoint(400, 150), QPoint(400, 350)})
    EXPECT_GT(qAlpha(stored.pixel(edge)), 200) << edge.x() << "," << edge.y();
  EXPECT_EQ(qAlpha(stored.pixel(400, 250)), 0);
  EXPECT_EQ(qAlpha(stored.pixel(100, 100)), 0);
  EXPECT_EQ(window.statusLabel->text(), "Факсимиле сохранено: Печать_отдела.png");
}

// Counts the times the busy cover showed over a window.
struct BusyCoverWatch : QObject {
  BusyCoverWatch() { qApp->installEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    shown += e->type() == QEvent::Show && o->objectName() == "PictureBusyOverlay";
    return false;
  }
  int shown = 0;
};

// 53 megapixels, the upper part noise that no compression shrinks: its PNG
// is larger than 64 MB. Stored, shown, edited and stored again whole, under
// the busy ring; what the editor and the page cannot take is never stored,
// and a stored file the editor cannot show is never replaced.
TEST_F(FacsimileWorkflowTest, LargePicturesAreKeptWholeAndRefusedWithTheirReason) {
  QImage big(7600, 7000, QImage::Format_RGB32);
  big.fill(Qt::white);
  for (int y = 0; y < 3200; ++y)
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(big.scanLine(y)), big.width());
  const QString file = dir.filePath("big.png");
  ASSERT_TRUE(big.save(file));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  BusyCoverWatch busy;
  add(file, "big", "большая");
  EXPECT_GE(busy.shown, 2) << "reading and writing under the ring";
  const QString stored = store + "/большая.png";
  EXPECT_GT(QFileInfo(stored).size(), 64 << 20);
  EXPECT_EQ(QImageReader(stored).size(), big.size());

  whenModalOpens([&](QWidget* picker) {
    if (!picker || picker->windowTitle() != "Выбрать факсимиле") return false;
    EXPECT_FALSE(picker->findChild<QListWidget*>()->item(0)->icon().isNull()) << "its thumbnail";
    whenModalOpens([](QWidget* editor) {
      auto* dialog = qobject_cast<FacsimileEditorDialog*>(editor);
      if (!dialog) return false;
      EXPECT_EQ(dialog->image().size(), QSize(7600, 7000)) << "the picture, not a blank canvas";
      CanvasWidget* canvas = dialog->host->canvas;  // a stroke of the brush
      QTest::mousePress(canvas, Qt::LeftButton, {}, canvas->imageToWidget({1000, 4000}));
      QTest::mouseMove(canvas, canvas->imageToWidget({3500, 4000}));
      QTest::mouseRelease(canvas, Qt::LeftButton, {}, canvas->imageToWidget({6000, 4000}));
      clickButtonOf(editor, QStringLiteral("Сохранить"));
      return true;
    });
    clickButtonOf(picker, "ОК");
    return true;
  });
  window.onFacsimileEdit();
  const QImage edited(stored);
  ASSERT_EQ(edited.size(), big.size());
  EXPECT_EQ(edited.pixel(1234, 567), big.pixel(1234, 567)) << "the noise kept";
  bool outline = false;
  for (int y = 3950; y < 4050; ++y) outline = outline || edited.pixel(3500, y) != big.pixel(3500, y);
  EXPECT_TRUE(outline) << "the stroke drawn";

  // Past 64 megapixels: refused with the reason, nothing stored.
  QImage huge(8200, 8200, QImage::Format_Mono);
  huge.fill(0);
  ASSERT_TRUE(huge.save(dir.filePath("huge.png")));
  EXPECT_TRUE(refusedAdd(dir.filePath("huge.png")).contains("8200 × 8200: больше 64 Мпикс"));
  EXPECT_EQ(window.facsimileFiles(), QStringList{"большая.png"});

  // A stored file that is no picture: the editor is not opened on a blank canvas.
  QFile broken(store + "/битая.png");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
  broken.close();
  auto why = answerNextDialog("OK", "Ошибка");
  whenModalOpens([](QWidget* picker) {
    if (!picker || picker->windowTitle() != "Выбрать факсимиле") return false;
    picker->findChild<QListWidget*>()->setCurrentRow(0);  // "битая" sorts first
    clickButtonOf(picker, "ОК");
    return true;
  });
  window.onFacsimileEdit();
  EXPECT_TRUE(why->texts.contains("«битая.png» не открывается в редакторе:\nэто не изображение")) << why->texts.toStdString();
  ASSERT_TRUE(broken.open(QIODevice::ReadOnly));
  EXPECT_EQ(broken.readAll(), "not a picture");
}

class FacsimileInsertTest : public FacsimileWorkflowTest {
 protected:
  void SetUp() override {
    FacsimileWorkflowTest::SetUp();
    for (const char* tool : {"pdfimages", "pdftoppm", "pdftotext"}) ASSERT_TRUE(hasTool(tool)) << tool;
    pdf = dir.filePath("contract.pdf");
    ASSERT_TRUE(writePdf(pdf, {PageSpec{"First page text", false, {595, 842}},
                               PageSpec{"Second page text", false, {595, 842}}}));
    ASSERT_TRUE(writeFacsimilePng(store + "/подпись.png", strip(Qt::red), nullptr));
    window.resize(1300, 950);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.openFile(pdf);
    window.view->setZoom(0.45);
  }

  // An unsaved edit of the first page's text, typed in place.
  void editFirstPage() {
    window.onToggleEditMode();
    ASSERT_TRUE(pageBlocksRead(window.view));
    window.view->activateOcrBlock(0);
    QTextEdit* editor = window.view->activeTextEditor();
    ASSERT_TRUE(editor);
    editor->setFocus();
    editor->selectAll();
    QTest::keyClicks(editor, "Edited before stamping");
    window.view->deactivateOcrBlock();
    ASSERT_TRUE(window.view->hasOcrEdits());
  }

  // The insert command with the stored picture, typed size in millimetres.
  void arm(const QString& width, const QString& height) {
    whenModalOpens([=, this](QWidget* modal) {
      if (!modal || modal->windowTitle() != "Выбрать факсимиле") return false;
      whenModalOpens([=, this](QWidget* sizeDialog) {
        if (!sizeDialog || sizeDialog->windowTitle() != "Размер факсимиле") return false;
        auto* kind = sizeDialog->findChild<QComboBox*>();
        const QList<QDoubleSpinBox*> spins = sizeDialog->findChildren<QDoubleSpinBox*>();
        kindShown = kind->currentText();
        sizeShown = QSizeF(spins[0]->value(), spins[1]->value());
        for (auto [spin, text] : {std::pair{spins[0], width}, std::pair{spins[1], height}}) {
          spin->setFocus();
          spin->selectAll();
          QTest::keyClicks(spin, text);
        }
        EXPECT_EQ(kind->currentText(), "Свой размер");
        clickButtonOf(sizeDialog, "Установить");
        return true;
      });
      clickButtonOf(modal, "ОК");
      return true;
    });
    window.onFacsimileInsert();
  }

  void clickOnSecondPage() {
    const QPoint target = window.view->viewportPointForPageTopPoint(1, QPointF(300, 400));
    ASSERT_TRUE(window.view->viewport()->rect().contains(target));
    QTest::mouseClick(window.view->viewport(), Qt::LeftButton, {}, target);
  }

  QString pdf;
  QString kindShown;
  QSizeF sizeShown;
};

TEST_F(FacsimileInsertTest, PlacedFacsimileHasTheChosenSizeOnThePageAfterEarlierEditsAreWritten) {
  editFirstPage();
  arm("50", "20");
  EXPECT_EQ(kindShown, "Подпись");
  EXPECT_EQ(sizeShown, QSizeF(45, 18));
  EXPECT_EQ(window.statusLabel->text(), "Кликните место установки факсимиле");
  EXPECT_EQ(window.view->currentEditTool(), EditTool::InsertImage);

  clickOnSecondPage();
  EXPECT_EQ(window.statusLabel->text(), "Изображение добавлено как объект на стр. 2");
  EXPECT_EQ(window.view->currentEditTool(), EditTool::Select);

  window.onSave();
  ASSERT_EQ(window.statusLabel->text(), "Сохранено");
  QByteArray firstPage;
  runTool("pdftotext", {"-f", "1", "-l", "1", pdf, "-"}, &firstPage);
  EXPECT_TRUE(QString::fromUtf8(firstPage).simplified().contains("Edited before stamping")) << firstPage.toStdString();

  int found = 0;
  for (const PdfImageInfo& image : listPdfImages(pdf)) {
    if (image.type != "image") continue;
    ++found;
    EXPECT_EQ(image.page, 2);
    EXPECT_EQ(image.size, QSize(600, 240));
    EXPECT_NEAR(600.0 / image.xPpi * 25.4, 50.0, 0.5);
    EXPECT_NEAR(240.0 / image.yPpi * 25.4, 20.0, 0.2);
  }
  EXPECT_EQ(found, 1);
  // The painted band is 520 x 120 of the 600 x 240 pixels: 43.33 x 10 mm.
  const QRect red = redArea(pdf, 2, dir.path());
  EXPECT_NEAR(red.width(), 433.3, 4.4);
  EXPECT_NEAR(red.height(), 100.0, 1.5);
  EXPECT_TRUE(redArea(pdf, 1, dir.path()).isEmpty());
}

TEST_F(FacsimileInsertTest, EditsThatCannotBeWrittenKeepThePlacementArmed) {
  window.onToggleEditMode();
  ASSERT_TRUE(pageBlocksRead(window.view));
  // Blocks of a page the document does not have: writing them must fail.
  std::vector<TextBlock> blocks = window.view->currentOcrBlocks();
  ASSERT_FALSE(blocks.empty());
  window.view->setOcrBlocks(blocks, 7, true);
  ASSERT_TRUE(window.view->hasOcrEdits());
  arm("40", "16");
  auto warning = answerNextDialog("OK", "Ошибка");
  clickOnSecondPage();
  EXPECT_TRUE(warning->shown);
  EXPECT_EQ(window.view->currentEditTool(), EditTool::InsertImage);
  EXPECT_TRUE(window.view->hasOcrEdits());
  for (const TextBlock& block : window.view->currentOcrBlocks()) EXPECT_FALSE(block.isImage);
}

}  // namespace

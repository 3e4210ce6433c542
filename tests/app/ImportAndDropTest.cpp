// Files as pages: images through the Insert tab (RGB, CMYK JPEG, 16-bit
// PNG, a broken file), dropped PDFs answered open, append and skip, and an
// image dropped on an empty window. pdfimages, pdfinfo and pdftotext judge.
#include "ShownWindowFixture.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace apptest;

namespace {

// A named pipe that nobody writes to. Whoever opens it for reading waits for
// a writer for ever; after a few seconds this watch plays that writer once
// (it opens and closes the pipe), so a road that opened it ends with a
// failed assertion instead of a hung test.
class UnwrittenPipe {
 public:
  explicit UnwrittenPipe(const QString& path) : path(QFile::encodeName(path)) {
    made = ::mkfifo(this->path.constData(), 0600) == 0;
    watcher = std::thread([this] {
      const auto start = std::chrono::steady_clock::now();
      while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) continue;
        const int fd = ::open(this->path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {  // only succeeds while someone reads
          ::close(fd);
          unblocked = true;
        }
      }
    });
  }
  ~UnwrittenPipe() {
    done = true;
    watcher.join();
  }
  bool made = false;
  std::atomic<bool> unblocked{false};

 private:
  QByteArray path;
  std::atomic<bool> done{false};
  std::thread watcher;
};

class ImportAndDrop : public ShownWindowTest {
 protected:
  QString pdf(const char* name, const QString& prefix, int pages) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QList<testsupport::PageSpec> specs;
    for (int i = 1; i <= pages; ++i) specs.append({QStringLiteral("%1%2").arg(prefix).arg(i), false, {595, 842}});
    EXPECT_TRUE(testsupport::writePdf(path, specs));
    return path;
  }

  QToolButton* ribbonButton(const QString& text) const {
    for (QToolButton* button : window->findChildren<QToolButton*>())
      if (button->text() == text) return button;
    return nullptr;
  }

  void drop(const QList<QString>& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = window->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
  }

  QString savedCopy() {
    const QString copy = dir.filePath(QStringLiteral("copy-%1.pdf").arg(++copies));
    EXPECT_TRUE(window->currentDocument->saveCopy(copy));
    return copy;
  }

  int copies = 0;
};

TEST_F(ImportAndDrop, ImagesBecomeOnePageEachAtTheirOwnSize) {
  window->openFile(pdf("doc.pdf", "D", 1));
  ASSERT_TRUE(window->currentDocument->isOpen());
  // 1500 x 750 RGB, a CMYK JPEG and a 16-bit PNG with alpha.
  const QString png = dir.filePath(QStringLiteral("wide.png"));
  QImage wide(1500, 750, QImage::Format_RGB32);
  wide.fill(QColor(20, 120, 200));
  ASSERT_TRUE(wide.save(png));
  const QString cmyk = dir.filePath(QStringLiteral("cmyk.jpg"));
  ASSERT_EQ(testsupport::runTool(QStringLiteral("convert"),
                                 {QStringLiteral("-size"), QStringLiteral("300x200"), QStringLiteral("xc:orange"),
                                  QStringLiteral("-colorspace"), QStringLiteral("CMYK"), cmyk}),
            0);
  QByteArray identify;
  testsupport::runTool(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%[colorspace]"), cmyk},
                       &identify);
  ASSERT_EQ(identify, QByteArray("CMYK"));
  const QString deep = dir.filePath(QStringLiteral("deep.png"));
  QImage sixteen(240, 160, QImage::Format_RGBA64);
  sixteen.fill(QColor(200, 40, 40, 255));
  ASSERT_TRUE(sixteen.save(deep));

  // A TIFF page the reader cannot take (16-bit CMYK) is named and the others
  // import, read while the window's thread goes on.
  const QString tiff = dir.filePath(QStringLiteral("pages.tiff"));
  QFile pages(tiff);
  ASSERT_TRUE(pages.open(QIODevice::WriteOnly));
  pages.write(testsupport::tiffFile({{20, 10, 3, 8, 2}, {30, 15, 4, 16, 5}, {30, 15, 3, 8, 2}, {16, 32}, {4000, 4000}}));
  pages.close();
  int ticks = 0;  // while no dialog is up: the import's own time
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ticks += QApplication::activeModalWidget() ? 0 : 1; });
  std::shared_ptr<DialogSeen> named;
  for (const QString& image : {png, cmyk, deep, tiff}) {
    chooseFileInNextDialog(image);
    if (image == tiff) named = answerNextDialog(QString(), QStringLiteral("Импорт"));
    if (image == tiff) ticker.start(0);
    QTest::mouseClick(ribbonButton(QStringLiteral("Изображение")), Qt::LeftButton);
    ticker.stop();
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано страниц: %1").arg(image == tiff ? 4 : 1));
  }
  EXPECT_GT(ticks, 0);
  ASSERT_TRUE(named->shown);
  EXPECT_TRUE(named->texts.contains(QStringLiteral("страница 2 (30 × 15, CMYK, 16 бит на канал): не читается")));
  EXPECT_EQ(window->currentDocument->pageCount(), 8);
  const QString copy = savedCopy();
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), copy}), 0);
  QList<QPair<int, QSize>> placed;
  for (const testsupport::PdfImageInfo& info : testsupport::listPdfImages(copy))
    if (info.type == QLatin1String("image")) placed.append({info.page, info.size});
  EXPECT_EQ(placed, (QList<QPair<int, QSize>>{{2, {1500, 750}}, {3, {300, 200}}, {4, {240, 160}}, {5, {20, 10}}, {6, {30, 15}}, {7, {16, 32}}, {8, {4000, 4000}}}));
  QByteArray info;
  testsupport::runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"),
                                                  QStringLiteral("4"), copy},
                       &info);
  const QString text = QString::fromUtf8(info);
  EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Page\\s+2 size:\\s+720 x 360 pts")))) << qPrintable(text);
  EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Page\\s+3 size:\\s+144 x 96 pts")))) << qPrintable(text);
  // The CMYK picture keeps its colour: an orange page, not an inverted one.
  const QImage page = window->currentDocument->renderPage(2, 0.5, 0);
  const QColor centre = page.pixelColor(page.width() / 2, page.height() / 2);
  EXPECT_GT(centre.red(), 200);
  EXPECT_LT(centre.blue(), 80);
}

TEST_F(ImportAndDrop, InsertTabPositionAndThumbnailImportPlaceThePages) {
  window->openFile(pdf("doc.pdf", "D", 3));
  const QString extra = pdf("extra.pdf", "E", 2);
  QComboBox* position = nullptr;
  for (QComboBox* combo : window->findChildren<QComboBox*>())
    if (combo->findText(QStringLiteral("После текущей страницы")) >= 0) position = combo;
  ASSERT_NE(position, nullptr);
  position->setCurrentIndex(position->findText(QStringLiteral("После текущей страницы")));
  window->view->setCurrentPage(1);
  chooseFileInNextDialog(extra);
  QTest::mouseClick(ribbonButton(QStringLiteral("Любой файл")), Qt::LeftButton);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано страниц: 2"));
  EXPECT_EQ(pdfPageTexts(savedCopy()), (QStringList{"D1", "D2", "E1", "E2", "D3"}));

  // The thumbnail panel's import puts the pages before the page it was asked at.
  chooseFileInNextDialog(extra);
  window->onThumbnailImportPage(0);
  EXPECT_EQ(pdfPageTexts(savedCopy()), (QStringList{"E1", "E2", "D1", "D2", "E1", "E2", "D3"}));
  EXPECT_EQ(window->view->currentPageIndex(), 0);
}

// Pages of a locked PDF go in after its password is asked.
TEST_F(ImportAndDrop, LockedPdfIsInsertedWithItsPassword) {
  window->openFile(pdf("doc.pdf", "D", 1));
  const QString locked = dir.filePath(QStringLiteral("locked.pdf"));
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "pw", "owner", "256", "--", pdf("plain.pdf", "L", 2), locked}), 0);
  int asked = 0;
  whenModalOpens([&](QWidget* modal) {
    auto* prompt = qobject_cast<QDialog*>(modal);
    if (!prompt || prompt->windowTitle() != QStringLiteral("Пароль PDF")) return false;
    QTest::keyClicks(prompt->findChild<QLineEdit*>(), QStringLiteral("pw"));
    QTest::keyClick(prompt->findChild<QLineEdit*>(), Qt::Key_Return);
    return ++asked > 0;
  });
  chooseFileInNextDialog(locked);
  QTest::mouseClick(ribbonButton(QStringLiteral("Любой файл")), Qt::LeftButton);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(pdfPageTexts(savedCopy()), (QStringList{"D1", "L1", "L2"}));
}

TEST_F(ImportAndDrop, BrokenImageIsReportedAndChangesNothing) {
  window->openFile(pdf("doc.pdf", "D", 2));
  const QString broken = dir.filePath(QStringLiteral("broken.png"));
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(200, 'x'));
  file.close();
  chooseFileInNextDialog(broken);
  auto seen = answerNextDialog(QString(), QStringLiteral("Ошибки"));
  QTest::mouseClick(ribbonButton(QStringLiteral("Изображение")), Qt::LeftButton);
  ASSERT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("broken.png: Не удалось прочитать изображение"))) << seen->texts.toStdString();
  EXPECT_EQ(window->currentDocument->pageCount(), 2);
  EXPECT_FALSE(window->currentDocument->isModified());
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано страниц: 0"));
}

TEST_F(ImportAndDrop, DroppedPdfIsOpenedAppendedOrSkipped) {
  const QString doc = pdf("doc.pdf", "D", 2);
  const QString extra = pdf("Extra.PDF", "E", 3);
  window->openFile(doc);

  auto skip = answerNextDialog(QStringLiteral("Отмена"), QStringLiteral("PDF файл"));
  drop({extra});
  ASSERT_TRUE(skip->shown);
  EXPECT_TRUE(skip->texts.contains(QStringLiteral("Что сделать с \"Extra.PDF\"?")));
  EXPECT_EQ(window->currentDocument->pageCount(), 2);
  EXPECT_EQ(window->documents.size(), 1u);

  auto append = answerNextDialog(QStringLiteral("Добавить как страницы"), QStringLiteral("PDF файл"));
  drop({extra});
  ASSERT_TRUE(append->shown);
  EXPECT_EQ(pdfPageTexts(savedCopy()), (QStringList{"D1", "D2", "E1", "E2", "E3"}));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано: Extra.PDF"));
  EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("doc.pdf *")));

  auto open = answerNextDialog(QStringLiteral("Открыть как новый документ"), QStringLiteral("PDF файл"));
  drop({extra});
  ASSERT_TRUE(open->shown);
  ASSERT_EQ(window->documents.size(), 2u);
  EXPECT_EQ(window->currentDocument->filePath(), extra);
  EXPECT_EQ(window->currentDocument->pageCount(), 3);
}

TEST_F(ImportAndDrop, ImageDroppedOnAnEmptyWindowOpensAnUntitledTab) {
  const QString png = dir.filePath(QStringLiteral("photo.png"));
  QImage photo(300, 150, QImage::Format_RGB32);
  photo.fill(Qt::darkGreen);
  ASSERT_TRUE(photo.save(png));
  drop({png});
  ASSERT_EQ(window->documents.size(), 1u);
  EXPECT_EQ(window->activeIndex, 0);
  EXPECT_EQ(window->currentDocument->pageCount(), 2);  // the blank A4 page, then the image
  EXPECT_EQ(window->documentTabs->count(), 1);
  EXPECT_TRUE(window->documentTabs->isVisible());
  EXPECT_EQ(window->documentTabs->tabText(0), QStringLiteral("Безымянный *"));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано: photo.png"));

  // Saving asks for a path; the tab then carries the file's name.
  const QString saved = dir.filePath(QStringLiteral("fromphoto.pdf"));
  chooseFileInNextDialog(saved);
  window->onSave();
  ASSERT_TRUE(QFile::exists(saved));
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), saved}), 0);
  const QList<testsupport::PdfImageInfo> images = testsupport::listPdfImages(saved);
  ASSERT_FALSE(images.isEmpty());
  EXPECT_EQ(images.first().page, 2);
  EXPECT_EQ(images.first().size, QSize(300, 150));
  EXPECT_EQ(window->documentTabs->tabText(0), QStringLiteral("fromphoto.pdf"));
  EXPECT_TRUE(window->closeDocumentAt(0));
  EXPECT_TRUE(window->documents.empty());
}

}  // namespace

TEST_F(ImportAndDrop, AfterAnImportThePageBoxAndLastPageReachTheNewPages) {
  window->openFile(pdf("doc.pdf", "D", 5));
  chooseFileInNextDialog(pdf("extra.pdf", "E", 6));
  QTest::mouseClick(ribbonButton(QStringLiteral("PDF")), Qt::LeftButton);
  ASSERT_EQ(window->currentDocument->pageCount(), 11);

  auto* spin = window->findChild<QSpinBox*>(QStringLiteral("FloatingPageSpin"));
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(spin->maximum(), 11);
  spin->selectAll();
  QTest::keyClicks(spin, QStringLiteral("11"));
  QTest::keyClick(spin, Qt::Key_Return);
  EXPECT_EQ(window->view->currentPageIndex(), 10);
  EXPECT_EQ(spin->value(), 11);

  window->view->setCurrentPage(0);
  QToolButton* last = nullptr;
  for (QToolButton* button : window->findChild<QWidget*>(QStringLiteral("FloatingBar"))->findChildren<QToolButton*>())
    if (button->toolTip() == QStringLiteral("В конец")) last = button;
  ASSERT_NE(last, nullptr);
  QTest::mouseClick(last, Qt::LeftButton);
  EXPECT_EQ(window->view->currentPageIndex(), 10);
  EXPECT_EQ(pdfPageTexts(savedCopy()).last(), QStringLiteral("E6"));
}

TEST_F(ImportAndDrop, JpegIsStoredAsTheSameJpegAndOpaqueImagesGetNoMask) {
  window->openFile(pdf("doc.pdf", "D", 1));
  // A photo-like JPEG: gradients and fine noise, so that pixels stored
  // losslessly would be many times larger than the JPEG.
  QImage photo(900, 600, QImage::Format_RGB32);
  quint32 seed = 7;
  for (int y = 0; y < photo.height(); ++y)
    for (int x = 0; x < photo.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 28);
      photo.setPixel(x, y, qRgb((x / 4 + noise) % 256, (y / 3 + 2 * noise) % 256, ((x + y) / 6) % 256));
    }
  const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
  ASSERT_TRUE(photo.save(jpeg, "JPEG", 85));
  const qint64 jpegBytes = QFileInfo(jpeg).size();
  const QString png = dir.filePath(QStringLiteral("flat.png"));
  QImage flat(200, 100, QImage::Format_ARGB32);
  flat.fill(QColor(10, 200, 90));  // an alpha channel, every pixel opaque
  ASSERT_TRUE(flat.save(png));

  for (const QString& image : {jpeg, png}) {
    chooseFileInNextDialog(image);
    QTest::mouseClick(ribbonButton(QStringLiteral("Изображение")), Qt::LeftButton);
    ASSERT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано страниц: 1"));
  }
  const QString copy = savedCopy();
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), copy}), 0);
  QByteArray listing;
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), copy}, &listing), 0);
  // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
  QStringList rows = QString::fromUtf8(listing).split('\n', Qt::SkipEmptyParts).mid(2);
  ASSERT_EQ(rows.size(), 2) << listing.toStdString();  // no soft masks
  const QStringList jpegRow = rows[0].simplified().split(' ');
  ASSERT_GE(jpegRow.size(), 15);
  EXPECT_EQ(jpegRow[2], QStringLiteral("image"));
  EXPECT_EQ(jpegRow[3], QStringLiteral("900"));
  EXPECT_EQ(jpegRow[8], QStringLiteral("jpeg")) << rows[0].toStdString();
  QString size = jpegRow[14];
  const double unit = size.endsWith('K') ? 1024.0 : size.endsWith('M') ? 1048576.0 : 1.0;
  if (!size.back().isDigit()) size.chop(1);
  const double stored = size.toDouble() * unit;
  EXPECT_NEAR(stored, double(jpegBytes), double(jpegBytes) * 0.05) << rows[0].toStdString() << " vs " << jpegBytes;
  EXPECT_EQ(rows[1].simplified().split(' ')[2], QStringLiteral("image"));
  // The picture shows as it did: a pixel in its middle keeps its colour.
  const QImage page = window->currentDocument->renderPage(1, 900.0 / window->currentDocument->pageSize(1).width(), 0);
  const QColor shown = page.pixelColor(450, 300);
  const QColor source = photo.pixelColor(450, 300);
  EXPECT_LT(std::abs(shown.red() - source.red()) + std::abs(shown.green() - source.green()), 90);
}

TEST_F(ImportAndDrop, FiltersOfferOnlyWhatImportsAndAnotherFormatIsNamedAsNotSupported) {
  window->openFile(pdf("doc.pdf", "D", 1));
  const QString docx = dir.filePath(QStringLiteral("letter.docx"));
  QFile file(docx);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("PK\x03\x04", 4) + QByteArray(300, 'w'));  // a zip, as word files are
  file.close();

  const QList<QPair<QString, QString>> buttons = {{QStringLiteral("Любой файл"), QStringLiteral("Ошибки импорта")},
                                                  {QStringLiteral("Документ"), QStringLiteral("Ошибка")}};
  for (const auto& [button, messageTitle] : buttons) {
    SCOPED_TRACE(button.toStdString());
    auto filters = std::make_shared<QStringList>();
    whenModalOpens<QFileDialog>([docx, filters](QFileDialog* dialog) {
      *filters = dialog->nameFilters();
      dialog->selectNameFilter(dialog->nameFilters().last());
      dialog->selectFile(docx);
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    auto seen = answerNextDialog(QString(), messageTitle);
    QTest::mouseClick(ribbonButton(button), Qt::LeftButton);
    const QString offered = filters->join(QStringLiteral(";;"));
    EXPECT_TRUE(offered.contains(QStringLiteral("*.pdf"))) << offered.toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("*.xlsx"))) << offered.toStdString();
    for (const char* never : {"docx", "odt", "html", "xhtml", "svg", "cbz", "pptx", "epub"})
      EXPECT_FALSE(offered.contains(QStringLiteral("*.") + QLatin1String(never))) << never;
    ASSERT_TRUE(seen->shown);
    EXPECT_TRUE(seen->texts.contains(QStringLiteral("Формат DOCX не поддерживается"))) << seen->texts.toStdString();
    EXPECT_FALSE(seen->texts.contains(QStringLiteral("Invalid")));
    EXPECT_EQ(window->currentDocument->pageCount(), 1);
  }
  // Pictures are still offered with the patterns this build reads.
  chooseFileInNextDialog(pdf("more.pdf", "M", 2));
  QTest::mouseClick(ribbonButton(QStringLiteral("Любой файл")), Qt::LeftButton);
  EXPECT_EQ(window->currentDocument->pageCount(), 3);
}

// A pipe, a folder or a device given where a file belongs is refused with
// the same message on every import road, before anything opens it to guess
// its format: the window never waits for a writer that never comes.
TEST_F(ImportAndDrop, PipesFoldersAndDevicesAreRefusedOnEveryRoadWithoutBeingOpened) {
  window->openFile(pdf("doc.pdf", "D", 2));
  const QString notAFile = QStringLiteral("это не обычный файл (канал, устройство или папка)");
  UnwrittenPipe pipe(dir.filePath(QStringLiteral("pipe.png")));
  ASSERT_TRUE(pipe.made);
  const QString pipePath = dir.filePath(QStringLiteral("pipe.png"));
  const QString folder = dir.filePath(QStringLiteral("sheets.xlsx"));
  ASSERT_TRUE(QDir().mkpath(folder));

  // Вставка → "Любой файл".
  chooseFileInNextDialog(pipePath, QStringLiteral("Все файлы (*)"));
  auto listed = answerNextDialog(QString(), QStringLiteral("Ошибки импорта"));
  QTest::mouseClick(ribbonButton(QStringLiteral("Любой файл")), Qt::LeftButton);
  ASSERT_TRUE(listed->shown);
  EXPECT_TRUE(listed->texts.contains(QStringLiteral("pipe.png: Не удалось открыть файл: ") + notAFile))
      << listed->texts.toStdString();

  // Dropped on the window: a pipe with a picture's name, a folder with a
  // workbook's name and a device.
  for (const QString& path : {pipePath, folder, QStringLiteral("/dev/null")}) {
    SCOPED_TRACE(path.toStdString());
    // Whatever dialog comes is closed: only the refusal may come.
    auto dropped = answerNextDialog(QString());
    drop({path});
    ASSERT_TRUE(dropped->shown);
    EXPECT_EQ(dropped->title, QStringLiteral("Ошибка импорта"));
    EXPECT_TRUE(dropped->texts.contains(notAFile)) << dropped->texts.toStdString();
  }

  // The page tools' "Вставка".
  window->showPageToolsDialog({pipePath}, false);
  QDialog* tools = nullptr;
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (dialog->windowTitle() == QStringLiteral("Операции со страницами") && dialog->isVisible()) tools = dialog;
  ASSERT_NE(tools, nullptr);
  tools->findChild<QTabWidget*>()->setCurrentIndex(0);
  auto inserted = answerNextDialog(QString(), QStringLiteral("Ошибка"));
  QTest::mouseClick(buttonIn(tools, QStringLiteral("Применить")), Qt::LeftButton);
  ASSERT_TRUE(inserted->shown);
  EXPECT_TRUE(inserted->texts.contains(notAFile)) << inserted->texts.toStdString();

  // The page tools' "Объединение" of the pipe and the folder named as a workbook.
  window->showPageToolsDialog({pipePath, folder}, false);
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (dialog->windowTitle() == QStringLiteral("Операции со страницами") && dialog->isVisible()) tools = dialog;
  tools->findChild<QTabWidget*>()->setCurrentIndex(2);
  chooseFileInNextDialog(dir.filePath(QStringLiteral("merged.pdf")));
  auto merged = answerNextDialog(QString(), QStringLiteral("Ошибки объединения"));
  auto nothing = answerNextDialog(QString(), QStringLiteral("Ошибка"));
  QTest::mouseClick(buttonIn(tools, QStringLiteral("Применить")), Qt::LeftButton);
  ASSERT_TRUE(merged->shown);
  EXPECT_TRUE(merged->texts.contains(QStringLiteral("pipe.png: Не удалось открыть файл: ") + notAFile))
      << merged->texts.toStdString();
  EXPECT_TRUE(merged->texts.contains(QStringLiteral("sheets.xlsx: Не удалось открыть файл: ") + notAFile))
      << merged->texts.toStdString();
  EXPECT_TRUE(nothing->shown);
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("merged.pdf"))));

  EXPECT_FALSE(pipe.unblocked) << "a road opened the pipe and waited for a writer";
  EXPECT_EQ(window->currentDocument->pageCount(), 2);
  EXPECT_FALSE(window->currentDocument->isModified());
}

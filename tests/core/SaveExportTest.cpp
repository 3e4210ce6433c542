// Saving never loses the file on disk; exports have the promised form.
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files larger than `bytes` cannot be written while this lives: a full disk
// as the process sees it.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
  rlimit saved{};
};

class SaveExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    source = dir.filePath("doc.pdf");
    ASSERT_TRUE(writePdf(source, {{"Привет, мир <b> & \"quotes\""}, {"second page", false, {300, 400}}}));
  }
  QStringList leftovers() const {
    return QDir(dir.path()).entryList({"*.~tmp*"}, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System);
  }
  QTemporaryDir dir;
  QString source;
};

}  // namespace

TEST_F(SaveExportTest, SavingInPlaceReplacesTheFileKeepsItsModeAndReopens) {
  ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0640), 0);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  ASSERT_TRUE(doc.rotatePage(0, 90));
  ASSERT_TRUE(doc.save(source));
  EXPECT_TRUE(doc.lastError().isEmpty());
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(doc.filePath(), source);
  EXPECT_TRUE(leftovers().isEmpty());
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(source).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  EXPECT_TRUE(oracles::qpdfCheckPasses(source));
  const QList<oracles::PageInfo> pages = oracles::pdfinfoPages(source);
  ASSERT_EQ(pages.size(), 2);
  EXPECT_EQ(pages[0].rotation, 90);
  // The reopened document goes on working and saves again.
  EXPECT_EQ(doc.pageSize(0), QSizeF(842, 595));
  EXPECT_FALSE(doc.renderPage(1, 0.5, 0).isNull());
  ASSERT_TRUE(doc.deletePage(1));
  ASSERT_TRUE(doc.saveAs(source));
  EXPECT_EQ(oracles::pdfinfoPages(source).size(), 1);
  EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(SaveExportTest, NewDocumentsBindToWhereTheyWereSaved) {
  PdfDocument doc;
  ASSERT_TRUE(doc.createEmpty());
  ASSERT_TRUE(doc.insertBlankPage(0, {200, 300}));
  const QString target = dir.filePath("new.pdf");
  ASSERT_TRUE(doc.save(target));
  EXPECT_EQ(doc.filePath(), target);
  EXPECT_FALSE(doc.isModified());
  EXPECT_TRUE(oracles::qpdfCheckPasses(target));
  const QList<oracles::PageInfo> pages = oracles::pdfinfoPages(target);
  ASSERT_EQ(pages.size(), 1);
  EXPECT_EQ(pages[0].size, QSizeF(200, 300));

  // A copy changes nothing in the object.
  ASSERT_TRUE(doc.rotatePage(0, 90));
  const QString copy = dir.filePath("copy.pdf");
  ASSERT_TRUE(doc.saveCopy(copy));
  EXPECT_EQ(doc.filePath(), target);
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(oracles::qpdfCheckPasses(copy));
  EXPECT_EQ(oracles::pdfinfoPages(copy).value(0).rotation, 90);
  EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(SaveExportTest, ASaveThatCannotCompleteLeavesTheOriginalByteIdentical) {
  struct Case {
    const char* name;
    std::function<QString()> prepare;  // returns the path to save to
    std::function<void()> undo;
    QString reason;  // how the message begins
  };
  const QString pipeTarget = dir.filePath("pipe.pdf");
  const QString directoryTarget = dir.filePath("folder.pdf");
  std::unique_ptr<FileSizeLimit> limit;
  const Case cases[] = {
      {"disk full", [&] { limit = std::make_unique<FileSizeLimit>(256); return source; }, [&] { limit.reset(); }, "Cannot write"},
      // Named pipes and devices are refused, never replaced or written into.
      {"target is a named pipe", [&] { ::mkfifo(QFile::encodeName(pipeTarget).constData(), 0600); return pipeTarget; },
       [&] { QFile::remove(pipeTarget); }, "Cannot replace file"},
      {"folder does not exist", [&] { return dir.filePath("no/such/folder/doc.pdf"); }, [] {}, "Cannot create"},
      {"target is a folder", [&] { QDir().mkdir(directoryTarget); return directoryTarget; },
       [&] { QDir().rmdir(directoryTarget); }, "Cannot replace file"},
  };
  const QByteArray original = readAll(source);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    ASSERT_TRUE(doc.deletePage(1));
    const QString target = c.prepare();
    const bool saved = doc.save(target);
    c.undo();
    EXPECT_FALSE(saved);
    EXPECT_TRUE(doc.lastError().startsWith(c.reason)) << doc.lastError().toStdString();
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.filePath(), source);
    EXPECT_EQ(readAll(source), original);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
    // The document is still whole and can be saved once the way is clear.
    EXPECT_EQ(doc.pageCount(), 1);
    EXPECT_FALSE(doc.saveCopy(dir.filePath("no/such/folder/copy.pdf")));
  }
  PdfDocument doc;
  EXPECT_FALSE(doc.save(source));
  EXPECT_FALSE(doc.saveCopy(dir.filePath("closed.pdf")));
}

TEST_F(SaveExportTest, PageImagesHaveTheSizeTheDpiAsks) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  const QString base = dir.filePath("pages.PNG");
  ASSERT_TRUE(doc.exportDocument(base, "PNG", 144));
  const QImage first(dir.filePath("pages_001.PNG"), "png");
  const QImage second(dir.filePath("pages_002.PNG"), "png");
  EXPECT_EQ(first.size(), QSize(1190, 1684));
  EXPECT_EQ(second.size(), QSize(600, 800));
  EXPECT_FALSE(QFile::exists(base));

  // One page: the path itself; the resolution is held between 36 and 600 dpi.
  const QString small = dir.filePath("small.pdf");
  ASSERT_TRUE(writePdf(small, {{QString(), true, {36, 72}}}));
  PdfDocument one;
  ASSERT_TRUE(one.open(small));
  struct Case {
    QString format;
    int dpi;
    QSize size;
    QByteArray readAs;
  };
  const Case cases[] = {
      {"jpg", 1000, {300, 600}, "jpeg"}, {"jpeg", 10, {18, 36}, "jpeg"},
      {"bmp", 72, {36, 72}, "bmp"},      {"png", 150, {75, 150}, "png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format.toStdString());
    const QString out = dir.filePath("single." + c.format);
    ASSERT_TRUE(one.exportDocument(out, c.format, c.dpi)) << one.lastError().toStdString();
    EXPECT_EQ(QImage(out, c.readAs.constData()).size(), c.size);
    EXPECT_FALSE(QFile::exists(dir.filePath("single_001." + c.format)));
  }
  EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(SaveExportTest, TextAndHtmlExportsAreUtf8WithoutBom) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  const QString txt = dir.filePath("all.txt");
  ASSERT_TRUE(doc.exportDocument(txt, "txt", 0));
  const QByteArray text = readAll(txt);
  EXPECT_FALSE(text.startsWith("\xEF\xBB\xBF"));
  EXPECT_EQ(QString::fromUtf8(text), doc.extractAllTextAllPages());
  EXPECT_TRUE(QString::fromUtf8(text).contains(QStringLiteral("Привет, мир")));

  for (const QString format : {"html", "XHTML"}) {
    const QString html = dir.filePath("all." + format);
    ASSERT_TRUE(doc.exportDocument(html, format, 0));
    const QString written = QString::fromUtf8(readAll(html));
    EXPECT_TRUE(written.startsWith("<!doctype html><html><body><pre>"));
    EXPECT_TRUE(written.endsWith("</pre></body></html>"));
    EXPECT_TRUE(written.contains(QStringLiteral("Привет, мир &lt;b&gt; &amp; &quot;quotes&quot;")));
  }

  // A page without text exports an empty file.
  const QString blank = dir.filePath("blank.pdf");
  ASSERT_TRUE(writePdf(blank, {{QString(), true}}));
  PdfDocument shapes;
  ASSERT_TRUE(shapes.open(blank));
  ASSERT_TRUE(shapes.exportDocument(dir.filePath("blank.txt"), "txt", 0));
  EXPECT_TRUE(readAll(dir.filePath("blank.txt")).isEmpty());
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("blank.txt")));
}

TEST_F(SaveExportTest, ExportFailuresAreReported) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  EXPECT_FALSE(doc.exportDocument(dir.filePath("x.tiff"), "TiFF", 150));
  EXPECT_EQ(doc.lastError(), "Export format is not implemented in the PDFium backend yet: TiFF");

  const QString missing = dir.filePath("no/such/folder/out");
  for (const QString format : {"txt", "html"}) {
    EXPECT_FALSE(doc.exportDocument(missing + "." + format, format, 0)) << format.toStdString();
    EXPECT_FALSE(doc.lastError().isEmpty());
  }
  EXPECT_FALSE(doc.exportDocument(missing + ".png", "png", 72));
  EXPECT_EQ(doc.lastError(), QStringLiteral("Не удалось сохранить изображение:\n%1").arg(dir.filePath("no/such/folder/out_001.png")));
  {
    FileSizeLimit limit(16);
    EXPECT_FALSE(doc.exportDocument(dir.filePath("full.txt"), "txt", 0));
  }
  EXPECT_FALSE(QFile::exists(dir.filePath("full.txt")));
  EXPECT_TRUE(leftovers().isEmpty());

  // "pdf" is a save under the new name.
  const QString pdf = dir.filePath("exported.pdf");
  ASSERT_TRUE(doc.exportDocument(pdf, "Pdf", 0));
  EXPECT_EQ(doc.filePath(), pdf);
  EXPECT_TRUE(oracles::qpdfCheckPasses(pdf));
}

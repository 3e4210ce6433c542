// Clicking links of an untrusted PDF: internal links go to their page, web
// links reach the desktop's handler directly, everything else is confirmed
// first, and relative files are looked for beside the PDF.
#include "BlockViewFixture.h"
#include "core/HandWrittenPdf.h"

#include <QDesktopServices>
#include <QSignalSpy>

using namespace testsupport;

namespace {

// Stands in for the desktop: records every URL handed to it.
class UrlRecorder : public QObject {
  Q_OBJECT
public:
  QList<QUrl> opened;
public slots:
  void open(const QUrl& url) { opened.append(url); }
};

struct LinkArea {
  const char* name;
  QString rect;  // x0 y0 x1 y1, user space of a 400 x 600 page
  QString action;
};

const QList<LinkArea>& linkAreas() {
  static const QList<LinkArea> list = {
      {"go to page 2", "40 500 140 540", "/A << /S /GoTo /D [4 0 R /Fit] >>"},
      {"web", "200 500 300 540", "/A << /S /URI /URI (https://example.com/a) >>"},
      {"mail", "40 440 140 480", "/A << /S /URI /URI (mailto:someone@example.com) >>"},
      {"launch", "200 440 300 480", "/A << /S /Launch /F (notes.txt) >>"},
      {"other scheme", "40 380 140 420", "/A << /S /URI /URI (ftp://example.org/file) >>"},
      {"remote go-to", "200 380 300 420", "/A << /S /GoToR /F (other.pdf) /D [1 /Fit] >>"},
  };
  return list;
}

void writeLinkPdf(const QString& path) {
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                         QString(), "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 600] >>"};
  QString annots;
  for (const LinkArea& a : linkAreas()) {
    objects.append(QStringLiteral("<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [%1] %2 >>").arg(a.rect, a.action));
    annots += QStringLiteral("%1 0 R ").arg(objects.size());
  }
  objects[2] = QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 600] /Annots [%1] >>").arg(annots.trimmed());
  ASSERT_TRUE(handwritten::writePdf(path, objects));
}

}  // namespace

class LinksTest : public blocktest::BlockViewTest {
protected:
  void SetUp() override {
    BlockViewTest::SetUp();
    path = dir.filePath(QStringLiteral("links.pdf"));
    writeLinkPdf(path);
    ASSERT_TRUE(links.open(path)) << links.lastError().toStdString();
    view->setDocument(&links);
    view->setZoom(1.0);
    for (const char* scheme : {"http", "https", "mailto", "file", "ftp"})
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");
  }
  void TearDown() override {
    for (const char* scheme : {"http", "https", "mailto", "file", "ftp"})
      QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    view->setDocument(nullptr);
    BlockViewTest::TearDown();
  }
  // The centre of a link area, in viewport pixels.
  QPoint centreOf(const LinkArea& a) const {
    const QStringList c = a.rect.split(' ');
    const double x = (c[0].toDouble() + c[2].toDouble()) / 2;
    const double y = (c[1].toDouble() + c[3].toDouble()) / 2;
    return view->viewportPointForPageTopPoint(0, {x, 600 - y});
  }

  QString path;
  PdfDocument links;
  UrlRecorder recorder;
};

TEST_F(LinksTest, ClicksFollowLinksAndAskBeforeAnythingButTheWeb) {
  struct Case {
    const char* name;
    bool confirmAnswer;
    bool asked;
    QUrl opened;  // empty: nothing handed to the desktop
    int pageAfter;
  };
  const QString besideThePdf = QUrl::fromLocalFile(dir.filePath(QStringLiteral("notes.txt"))).toString();
  const QList<Case> cases = {
      {"go to page 2", true, false, {}, 1},
      {"web", true, false, QUrl("https://example.com/a"), 0},
      {"mail", true, false, QUrl("mailto:someone@example.com"), 0},
      {"launch", true, true, QUrl(besideThePdf), 0},
      {"launch", false, true, {}, 0},
      {"other scheme", false, true, {}, 0},
      {"other scheme", true, true, QUrl("ftp://example.org/file"), 0},
      {"remote go-to", false, true, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view->setCurrentPage(0);
    recorder.opened.clear();
    QStringList asked;
    view->setLinkConfirmation([&](const QString& target) {
      asked.append(target);
      return c.confirmAnswer;
    });
    const auto area = std::find_if(linkAreas().begin(), linkAreas().end(),
                                   [&](const LinkArea& a) { return QByteArray(a.name) == c.name; });
    ASSERT_NE(area, linkAreas().end());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centreOf(*area));
    EXPECT_EQ(!asked.isEmpty(), c.asked);
    EXPECT_EQ(recorder.opened, c.opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{c.opened});
    EXPECT_EQ(view->currentPageIndex(), c.pageAfter);
  }
}

TEST_F(LinksTest, LinksAreNotFollowedInEditModeOrWithOtherTools) {
  QSignalSpy pages(view.get(), &PdfView::pageChanged);
  const QPoint web = centreOf(linkAreas()[1]);
  view->setEditTool(EditTool::Hand);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, web);
  view->setEditTool(EditTool::Select);
  view->setEditMode(true);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, web);
  view->setEditMode(false);
  // A drag that starts on a link marks a region instead.
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, web);
  QTest::mouseMove(view->viewport(), web + QPoint(30, 30));
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, web + QPoint(30, 30));
  EXPECT_TRUE(recorder.opened.isEmpty());
  EXPECT_EQ(view->currentPageIndex(), 0);
}

#include "PdfViewLinksTest.moc"

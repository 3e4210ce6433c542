// Bookmarks of an untrusted PDF open what page links open, with the same
// confirmation: local files, network shares and mail with attachments are
// asked about first; web pages and plain mail open directly.
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace apptest;
using namespace testsupport;

namespace {

class OutlineWindow : public TestWindow {
 public:
  using MainWindow::leftPanelTabs;
  using MainWindow::outlineTree;
};

// Stands in for the desktop: records every URL handed to it.
class UrlRecorder : public QObject {
  Q_OBJECT
public:
  QStringList opened;
public slots:
  void open(const QUrl& url) { opened.append(url.toString()); }
};

const QStringList kSchemes = {"file", "smb", "https", "mailto"};

}  // namespace

TEST(OutlineLinks, BookmarksLeavingTheDocumentAreConfirmedLikePageLinks) {
  if (!hasTool("gs")) GTEST_SKIP() << "ghostscript is not installed";
  useCleanSettings();
  QTemporaryDir dir;
  const QString plain = dir.filePath("plain.pdf");
  ASSERT_TRUE(writePdf(plain, {{"one"}, {"two"}}));
  struct Bookmark {
    const char* title;
    const char* uri;
    bool asks;
  };
  const Bookmark bookmarks[] = {
      {"Desktop file", "file:///home/user/Downloads/evil.desktop", true},
      {"Password file", "file:///etc/passwd", true},
      {"Share", "smb://server/share/run.exe", true},
      {"Web", "https://example.org/", false},
      {"Mail", "mailto:office@example.org?subject=Hi&cc=boss@example.org", false},
      {"Mail with attachment", "mailto:office@example.org?attach=/home/user/.ssh/id_rsa", true},
  };
  const QString marks = dir.filePath("marks.ps");
  {
    QFile file(marks);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (const Bookmark& b : bookmarks)
      file.write(QStringLiteral("[/Title (%1) /Action << /Subtype /URI /URI (%2) >> /OUT pdfmark\n")
                     .arg(b.title, b.uri)
                     .toLatin1());
  }
  const QString marked = dir.filePath("marked.pdf");
  ASSERT_EQ(runTool("gs", {"-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite", "-o", marked, "-f", plain,
                           marks}),
            0);

  UrlRecorder desktop;
  for (const QString& scheme : kSchemes) QDesktopServices::setUrlHandler(scheme, &desktop, "open");
  OutlineWindow window;
  window.resize(1200, 800);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.openFile(marked);
  window.leftPanelTabs->setCurrentIndex(1);
  QTreeWidget* tree = window.outlineTree;
  ASSERT_EQ(tree->topLevelItemCount(), int(std::size(bookmarks)));

  for (const bool allow : {false, true}) {
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
      const Bookmark& b = bookmarks[row];
      SCOPED_TRACE(std::string(b.title) + (allow ? ", allowed" : ", declined"));
      QStringList asked;
      window.view->setLinkConfirmation([&](const QString& target) {
        asked << target;
        return allow;
      });
      desktop.opened.clear();
      QTreeWidgetItem* item = tree->topLevelItem(row);
      ASSERT_EQ(item->text(0), b.title);
      tree->scrollToItem(item);
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
      EXPECT_EQ(!asked.isEmpty(), b.asks) << asked.join(' ').toStdString();
      const bool opens = !b.asks || allow;
      EXPECT_EQ(!desktop.opened.isEmpty(), opens) << desktop.opened.join(' ').toStdString();
      for (const QString& url : desktop.opened) EXPECT_EQ(url, QString::fromLatin1(b.uri));
    }
  }
  for (const QString& scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
}

#include "OutlineLinksTest.moc"

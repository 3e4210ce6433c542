// File names that look like HTML reach every label as text. The window runs
// in a child copy of this test binary under an address-space cap: a label
// that rendered "<img src=/dev/zero>" would read /dev/zero until the cap ends
// the child, so a passing child is the proof that nothing was read; it also
// reports its peak resident memory and the texts it saw.
#include "ShownWindowFixture.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include <sys/resource.h>

using namespace apptest;

namespace {

const char kCappedRun[] = "ULVO_HOSTILE_NAMES_CAPPED";
const QString kZero = QStringLiteral("<img src=&#47;dev&#47;zero>");
// A name cannot hold "/", and an open tag is HTML enough for Qt.
const QString kBold = QStringLiteral("<b>bold");

class HostileNamesCapped : public ShownWindowTest {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty(kCappedRun)) GTEST_SKIP() << "runs only inside the capped child";
    ShownWindowTest::SetUp();
  }

  QString pdf(const QString& name) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(testsupport::writePdf(path, {{QStringLiteral("Hostile"), false, {595, 842}}}));
    return path;
  }

  void drop(const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint centre = window->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent event(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
  }

  QToolButton* ribbonButton(const QString& text) const {
    for (QToolButton* button : window->findChildren<QToolButton*>())
      if (button->text() == text) return button;
    return nullptr;
  }

  // Shows a tool tip as a hover would and returns the text the user reads.
  static QString shownToolTip(QWidget* over, const QString& tip) {
    QToolTip::showText(over->mapToGlobal(QPoint(4, 4)), tip, over);
    QString shown;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->inherits("QTipLabel")) {
        QTextDocument document;
        const QString text = static_cast<QLabel*>(widget)->text();
        if (Qt::mightBeRichText(text))
          document.setHtml(text);
        else
          document.setPlainText(text);
        shown = document.toPlainText();
      }
    QToolTip::hideText();
    return shown;
  }
};

TEST_F(HostileNamesCapped, OpenDropImportAndRestoreShowTheNamesAsText) {
  // Opening: the status line, the tab's tool tip.
  const QString zeroPdf = pdf(kZero + QStringLiteral(".pdf"));
  window->openFile(zeroPdf);
  ASSERT_TRUE(window->currentDocument->isOpen());
  EXPECT_TRUE(window->statusLabel->text().startsWith(QStringLiteral("Открыт: ") + kZero + QStringLiteral(".pdf")))
      << window->statusLabel->text().toStdString();
  EXPECT_EQ(window->statusLabel->textFormat(), Qt::PlainText);
  EXPECT_EQ(shownToolTip(window->documentTabs, window->documentTabs->tabToolTip(0)), zeroPdf);

  // Dropping a PDF: the question names it, the status line too.
  auto asked = answerNextDialog(QStringLiteral("Добавить как страницы"), QStringLiteral("PDF файл"));
  drop(zeroPdf);
  ASSERT_TRUE(asked->shown);
  EXPECT_TRUE(asked->texts.contains(QStringLiteral("Что сделать с \"%1.pdf\"?").arg(kZero))) << asked->texts.toStdString();
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано: %1.pdf").arg(kZero));

  // Dropping an image.
  const QString zeroPng = dir.filePath(kZero + QStringLiteral(".png"));
  QImage picture(60, 40, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  ASSERT_TRUE(picture.save(zeroPng, "PNG"));
  drop(zeroPng);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано: %1.png").arg(kZero));
  EXPECT_EQ(window->currentDocument->pageCount(), 3);

  // Importing a broken image: the error list names it.
  const QString broken = dir.filePath(kBold + kZero + QStringLiteral(".png"));
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x'));
  file.close();
  chooseFileInNextDialog(broken);
  auto errors = answerNextDialog(QString(), QStringLiteral("Ошибки"));
  QTest::mouseClick(ribbonButton(QStringLiteral("Изображение")), Qt::LeftButton);
  ASSERT_TRUE(errors->shown);
  EXPECT_TRUE(errors->texts.contains(kBold + kZero + QStringLiteral(".png: "))) << errors->texts.toStdString();

  // A file that does not open: the message names its path.
  const QString damaged = dir.filePath(kBold + kZero + QStringLiteral("-damaged.pdf"));
  QFile bad(damaged);
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a PDF");
  bad.close();
  auto failed = answerNextDialog(QStringLiteral("OK"), QStringLiteral("Ошибка"));
  window->openFile(damaged);
  ASSERT_TRUE(failed->shown);
  EXPECT_TRUE(failed->texts.contains(damaged)) << failed->texts.toStdString();

  // The properties dialog lists the file's name among its facts.
  QDialog* properties = dialogOpenedBy(window.get(), [this] { window->showDocumentPropertiesDialog(); });
  ASSERT_NE(properties, nullptr);
  QTest::qWait(20);
  QStringList facts;
  for (QLabel* line : properties->findChildren<QLabel*>()) {
    facts << line->text();
    if (line->text().contains(kZero)) {
      EXPECT_EQ(line->textFormat(), Qt::PlainText);
    }
  }
  EXPECT_TRUE(facts.join('\n').contains(kZero)) << facts.join('\n').toStdString();
  properties->close();

  // A message box of Qt's static helpers, as other parts of the program use
  // them (a link's address from a document, an error text).
  auto box = answerNextDialog(QString(), QStringLiteral("Открыть ссылку"));
  QMessageBox::question(window.get(), QStringLiteral("Открыть ссылку"),
                        QStringLiteral("<img src=/dev/zero>http://example.com/?a=<b>1"));
  ASSERT_TRUE(box->shown);
  EXPECT_TRUE(box->texts.contains(QStringLiteral("<img src=/dev/zero>http://example.com/?a=<b>1")));

  // "Restore last document" with such a name: the next start opens it.
  window.reset();
  QSettings().setValue(QStringLiteral("doc/restoreLastDocument"), true);
  QSettings().setValue(QStringLiteral("recentFiles"), QStringList{zeroPdf});
  window = std::make_unique<RibbonWindow>();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  for (int i = 0; i < 200 && !window->currentDocument->isOpen(); ++i) QTest::qWait(10);
  ASSERT_TRUE(window->currentDocument->isOpen());
  EXPECT_TRUE(window->statusLabel->text().contains(kZero));

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("PEAK_RSS_KB %ld\n", usage.ru_maxrss);
}

}  // namespace

TEST(HostileNames, ShownAsTextUnderAMemoryCap) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kCappedRun), QStringLiteral("1"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  child.setProcessEnvironment(environment);
  // 3 GB of address space: the program with its libraries needs about one,
  // reading /dev/zero needs all there is.
  child.start(QStringLiteral("prlimit"),
              {QStringLiteral("--as=3000000000"), QStringLiteral("--"), QFile::symLinkTarget("/proc/self/exe"),
               QStringLiteral("--gtest_filter=HostileNamesCapped.*")});
  ASSERT_TRUE(child.waitForFinished(180000));
  const QString out = QString::fromUtf8(child.readAllStandardOutput());
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
  EXPECT_EQ(child.exitCode(), 0) << out.toStdString() << child.readAllStandardError().toStdString();
  EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << out.toStdString();
  const qsizetype at = out.indexOf(QStringLiteral("PEAK_RSS_KB "));
  ASSERT_GE(at, 0);
  const long peakKb = out.mid(at + 12, out.indexOf(QLatin1Char('\n'), at) - at - 12).toLong();
  std::printf("child peak resident memory: %ld MB\n", peakKb / 1024);
  EXPECT_LT(peakKb, 300 * 1024);
}

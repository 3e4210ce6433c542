#include "AppTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QProcess>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "TestSupport.h"
#include "view/PdfView.h"

#include <memory>

namespace apptest {

void useCleanSettings() {
  // Each test process keeps its settings in a folder of its own: CTest runs
  // the tests side by side.
  static QTemporaryDir folder;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
  QCoreApplication::setOrganizationName(QStringLiteral("ulvo"));
  QCoreApplication::setApplicationName(QStringLiteral("ulvo-app-tests"));
  QSettings().clear();
}

bool showActive(QWidget* window, const QSize& size) {
  window->resize(size);
  window->show();
  const bool exposed = QTest::qWaitForWindowExposed(window);
  window->activateWindow();
  return QTest::qWaitForWindowActive(window) && exposed;
}

bool pageBlocksRead(const PdfView* view) {
  return QTest::qWaitFor([view] { return !view->currentOcrBlocks().empty(); }, 60000);
}

bool typeOverBlock(PdfView* view, const QString& oldText, const QString& newText) {
  if (!pageBlocksRead(view)) return false;
  const std::vector<TextBlock>& blocks = view->currentOcrBlocks();
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (!blocks[i].text.contains(oldText)) continue;
    view->activateOcrBlock(int(i));
    QTextEdit* editor = view->activeTextEditor();
    if (!editor) return false;
    editor->setFocus();
    editor->selectAll();
    QTest::keyClicks(editor, newText);
    return view->hasOcrEdits();
  }
  return false;
}

namespace {

// Polls every 10 ms until `answer` takes the active modal widget, for at most
// kLongestDialogWaitMs: a dialog that never comes ends the wait instead of
// leaving a poll that answers some later dialog, and the watch for dialogs
// nobody answers takes over. `stop` ends it early.
constexpr int kLongestDialogWaitMs = 60000;

void pollForModal(const std::function<bool(QWidget*)>& answer, const std::function<bool()>& stop = {}) {
  auto waiting = std::make_shared<testsupport::WaitingForDialog>();
  auto since = std::make_shared<QElapsedTimer>();
  since->start();
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [poll, answer, stop, waiting, since] {
    bool answered = false;
    if (!(stop && stop())) {
      testsupport::DrivingDialog driving;
      answered = answer(QApplication::activeModalWidget());
    }
    if (!answered && !(stop && stop()) && since->elapsed() < kLongestDialogWaitMs) {
      QTimer::singleShot(10, *poll);
      return;
    }
    *poll = nullptr;  // break the self-reference; the running copy is the timer's
  };
  QTimer::singleShot(0, *poll);
}

}  // namespace

void whenModalOpens(const std::function<bool(QWidget*)>& answer) { pollForModal(answer); }

QDialog* dialogOpenedBy(QWidget* window, const std::function<void()>& action) {
  const QList<QDialog*> before = window->findChildren<QDialog*>();
  action();
  QDialog* opened = nullptr;
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (!before.contains(dialog)) opened = dialog;
  return opened;
}

std::shared_ptr<DialogSeen> answerNextDialog(const QString& buttonText, const QString& title) {
  auto seen = std::make_shared<DialogSeen>();
  pollForModal(
      [seen, buttonText, title](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || (!title.isEmpty() && dialog->windowTitle() != title)) return false;
        seen->shown = true;
        seen->title = dialog->windowTitle();
        QStringList texts;
        for (QLabel* line : dialog->findChildren<QLabel*>()) texts << line->text();
        seen->texts = texts.join(QLatin1Char('\n'));
        if (buttonText.isEmpty()) {
          dialog->close();
          return true;
        }
        // Qt's own buttons are named by Qt's English source and show its
        // translation; "OK" also names the program's own "ОК".
        const QString qtText = QCoreApplication::translate("QPlatformTheme", buttonText.toUtf8().constData());
        const QString russianOk = buttonText == QLatin1String("OK") ? QStringLiteral("ОК") : buttonText;
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
          if (button->text() == buttonText || button->text() == qtText || button->text() == russianOk) {
            button->click();
            break;
          }
        return true;
      },
      [seen] { return seen->stopWaiting; });
  return seen;
}

void chooseFileInNextDialog(const QString& path, const QString& nameFilter) {
  whenModalOpens<QFileDialog>([path, nameFilter](QFileDialog* dialog) {
    if (!nameFilter.isEmpty()) dialog->selectNameFilter(nameFilter);
    dialog->selectFile(path);
    // Shown with the focus in its name field, the dialog takes no selectFile: the name is typed there.
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
      name->setText(QFileInfo(path).fileName());
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
}

QStringList pdfPageTexts(const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  // pdftotext ends every page with a form feed.
  QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
  for (QString& page : pages) page = page.trimmed();
  return pages;
}

}  // namespace apptest

#include "AppTestSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QProcess>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

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

bool typeOverBlock(PdfView* view, const QString& oldText, const QString& newText) {
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

void whenModalOpens(const std::function<bool(QWidget*)>& answer) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [poll, answer] {
    if (!answer(QApplication::activeModalWidget())) {
      QTimer::singleShot(10, *poll);
      return;
    }
    *poll = nullptr;  // break the self-reference
  };
  QTimer::singleShot(0, *poll);
}

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
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [seen, poll, buttonText, title] {
    if (seen->stopWaiting) {
      *poll = nullptr;
      return;
    }
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || (!title.isEmpty() && dialog->windowTitle() != title)) {
      QTimer::singleShot(10, *poll);
      return;
    }
    seen->shown = true;
    seen->title = dialog->windowTitle();
    QStringList texts;
    for (QLabel* line : dialog->findChildren<QLabel*>()) texts << line->text();
    seen->texts = texts.join(QLatin1Char('\n'));
    if (buttonText.isEmpty()) {
      dialog->close();
    } else {
      // Qt's own buttons are named by Qt's English source and show its
      // translation; "OK" also names the program's own "ОК".
      const QString qtText = QCoreApplication::translate("QPlatformTheme", buttonText.toUtf8().constData());
      const QString russianOk = buttonText == QLatin1String("OK") ? QStringLiteral("ОК") : buttonText;
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == buttonText || button->text() == qtText || button->text() == russianOk) {
          button->click();
          break;
        }
    }
    *poll = nullptr;  // break the self-reference
  };
  QTimer::singleShot(0, *poll);
  return seen;
}

void chooseFileInNextDialog(const QString& path, const QString& nameFilter) {
  whenModalOpens<QFileDialog>([path, nameFilter](QFileDialog* dialog) {
    if (!nameFilter.isEmpty()) dialog->selectNameFilter(nameFilter);
    dialog->selectFile(path);
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

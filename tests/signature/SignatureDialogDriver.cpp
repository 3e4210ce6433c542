#include "SignatureDialogDriver.h"

#include "signature/SignatureWorkflow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QListWidget>
#include <QTest>
#include <QTimer>

namespace signaturetest {

void useIsolatedFolders() {
  static bool done = false;
  if (done) return;
  done = true;
  // Children (the workers, and this program started again by a test) inherit
  // these and keep them.
  if (qEnvironmentVariableIsEmpty("ULVO_TEST_ISOLATED_HOME")) {
    static QTemporaryDir home;
    qputenv("ULVO_TEST_ISOLATED_HOME", home.path().toUtf8());
  }
  const QDir home(qEnvironmentVariable("ULVO_TEST_ISOLATED_HOME"));
  qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
  qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
  apptest::useCleanSettings();
  setSigningWorkerProgram(QStringLiteral(ULVO_BINARY));
}

namespace {
const QByteArray startTemporaryFolder = qgetenv("TMPDIR");
}

QString useFreshTemporaryFolder(QTemporaryDir& folder) {
  qputenv("TMPDIR", folder.path().toUtf8());
  return folder.path();
}

void restoreTemporaryFolder() {
  if (startTemporaryFolder.isEmpty())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", startTemporaryFolder);
}

QStringList leftoverSigningFiles(const QString& folder) {
  return QDir(folder).entryList({"ulvo-sign-*"}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

QWidget* gridCell(QDialog* dialog, const QString& groupTitle, int row, int column, int index) {
  for (QGroupBox* group : dialog->findChildren<QGroupBox*>()) {
    if (group->title() != groupTitle) continue;
    auto* grid = qobject_cast<QGridLayout*>(group->layout());
    QLayoutItem* item = grid ? grid->itemAtPosition(row, column) : nullptr;
    if (!item) return nullptr;
    if (item->widget()) return item->widget();
    if (item->layout() && item->layout()->count() > index) return item->layout()->itemAt(index)->widget();
  }
  return nullptr;
}

QDialog* signatureDialog() {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  return dialog && dialog->windowTitle() == QStringLiteral("Подписание документа") ? dialog : nullptr;
}

bool certificateSearchDone(QDialog* dialog) {
  auto* stack = dialog->findChild<QStackedWidget*>(QStringLiteral("SignatureCertificateStack"));
  return stack && stack->currentWidget() == dialog->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
}

void chooseByKeys(QComboBox* combo, const QVariant& data) {
  const int wanted = combo->findData(data);
  while (combo->currentIndex() > wanted && combo->currentIndex() > 0) QTest::keyClick(combo, Qt::Key_Up);
  while (combo->currentIndex() < wanted) QTest::keyClick(combo, Qt::Key_Down);
}

void typeInto(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

void clickButton(QDialog* dialog, const QString& text) {
  // Qt's own buttons show its translation of their English source.
  const QString qtText = QCoreApplication::translate("QPlatformTheme", text.toUtf8().constData());
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if ((button->text() == text || button->text() == qtText || (text == "OK" && button->text() == "ОК")) &&
        button->isVisible()) {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  ADD_FAILURE() << "no button " << text.toStdString();
}

void fillKeyFiles(QDialog* dialog, const KeyFiles& keys) {
  const QString group = QStringLiteral("Linux / OpenSSL");
  typeInto(cell<QLineEdit>(dialog, group, 0, 1), keys.certificate);
  typeInto(cell<QLineEdit>(dialog, group, 1, 1), keys.privateKey);
  typeInto(cell<QLineEdit>(dialog, group, 2, 1), keys.keyPassword);
  typeInto(cell<QLineEdit>(dialog, group, 3, 1), keys.pkcs12);
  typeInto(cell<QLineEdit>(dialog, group, 4, 1), keys.pkcs12Password);
}

std::shared_ptr<apptest::DialogSeen> signFromWindow(MainWindow& window, int mode, const KeyFiles& keys,
                                                    const QString& expectedTitle,
                                                    const std::function<void(QDialog*)>& beforeSigning,
                                                    const std::function<void(QDialog*)>& whileBusy) {
  std::shared_ptr<apptest::DialogSeen> seen;
  const bool came = runSignatureDialog(window, [&](QDialog* dialog) {
    chooseByKeys(cell<QComboBox>(dialog, "Режим подписи", 0, 1), mode);
    fillKeyFiles(dialog, keys);
    if (beforeSigning) beforeSigning(dialog);
    seen = apptest::answerNextDialog("OK", expectedTitle);
    clickButton(dialog, "Подписать");
    if (whileBusy) whileBusy(dialog);
    if (!QTest::qWaitFor([&] { return seen->shown; }, 90000)) {
      seen->stopWaiting = true;
      ADD_FAILURE() << "no message titled " << expectedTitle.toStdString();
    }
    if (dialog->isVisible() && expectedTitle != QStringLiteral("Подпись создана")) clickButton(dialog, "Отмена");
  });
  EXPECT_TRUE(came);
  return seen;
}

bool runSignatureDialog(MainWindow& window, const std::function<void(QDialog*)>& drive, const QString& path) {
  return driveSignatureDialog([&] { window.showSignatureDialog(false, {}, {}, path); }, drive);
}

bool driveSignatureDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& drive) {
  bool came = false;
  QTimer::singleShot(0, [&] {
    QDialog* dialog = nullptr;
    if (!QTest::qWaitFor([&] { return (dialog = signatureDialog()) != nullptr; }, 10000)) return;
    came = true;
    if (!QTest::qWaitFor([&] { return certificateSearchDone(dialog); }, 60000))
      ADD_FAILURE() << "certificate search did not end";
    drive(dialog);
    // A drive that left the dialog open closes it, so the test never hangs.
    if (!QTest::qWaitFor([&] { return !dialog->isVisible(); }, 60000)) {
      ADD_FAILURE() << "the signature dialog stayed open";
      dialog->done(QDialog::Rejected);
    }
  });
  open();
  return came;
}

}  // namespace signaturetest

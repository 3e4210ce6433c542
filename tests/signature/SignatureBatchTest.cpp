// The e-signature edition signing several files: the first in the dialog,
// the others as a batch with the same settings, one worker each; judged by
// pdfsig and openssl on the results and by the bytes of the inputs.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "signature/SignatureWorkflow.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>

// Qt's friend, left undefined: an event sent as from the window system, passed on to parents.
bool qt_sendSpontaneousEvent(QObject* receiver, QEvent* event) {
  return QCoreApplication::sendSpontaneousEvent(receiver, event);
}

using namespace signaturetest;
using signingtest::pki;
using signingtest::readBytes;

namespace {

// Answers the summary; with ULVO_TEST_SCREENSHOTS set, saves a picture of it there first.
std::shared_ptr<apptest::DialogSeen> answerSummary() {
  auto seen = std::make_shared<apptest::DialogSeen>();
  apptest::whenModalOpens([seen](QWidget* modal) {
    if (seen->stopWaiting) return true;
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (!dialog || dialog->windowTitle() != "Подпись создана") return false;
    QStringList texts;
    for (QLabel* line : dialog->findChildren<QLabel*>()) texts << line->text();
    seen->texts = texts.join('\n');
    if (qEnvironmentVariableIsSet("ULVO_TEST_SCREENSHOTS"))
      dialog->grab().save(qEnvironmentVariable("ULVO_TEST_SCREENSHOTS") + "/batch-summary.png");
    seen->shown = true;
    clickButton(dialog, "OK");
    return true;
  });
  return seen;
}

class SignatureBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"openssl", "pdfsig"}) ASSERT_TRUE(testsupport::hasTool(tool)) << tool;
    ASSERT_FALSE(pki().pkcs12.isEmpty());
    useIsolatedFolders();
    QSettings().clear();
    ASSERT_TRUE(temporary.isValid());
    tempFolder = useFreshTemporaryFolder(temporary);
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"acts.pdf", "bill.pdf", "draft.pdf"}) {
      const QString path = folder.filePath(name);
      ASSERT_TRUE(testsupport::writePdf(path, {{QString::fromLatin1(name), false}}));
      inputs[path] = readBytes(path);
    }
    broken = signingtest::writeBytes(folder.filePath("broken.pdf"), "%PDF-1.7\n1 0 obj <</Type /Cat");
    inputs[broken] = readBytes(broken);
  }

  void TearDown() override {
    setSigningWorkerProgram(QStringLiteral(ULVO_BINARY));
    restoreTemporaryFolder();
  }

  // Starts the edition with these arguments, signs in `mode` with the PKCS#12
  // container and answers the batch question; returns the summary's text.
  QString runEdition(const QStringList& arguments, int mode, const QString& batchAnswer,
                     const std::function<void(QDialog*)>& chooseKeys = {}) {
    apptest::TestWindow window(AppProduct::Ecp);
    std::shared_ptr<apptest::DialogSeen> summary, question;
    const bool came = driveSignatureDialog([&] { window.showEcpStartup(arguments); }, [&](QDialog* dialog) {
      subtitle.clear();
      for (QLabel* label : dialog->findChildren<QLabel*>()) subtitle += label->text() + '\n';
      chooseByKeys(cell<QComboBox>(dialog, "Режим подписи", 0, 1), mode);
      if (chooseKeys) chooseKeys(dialog);
      else typeInto(cell<QLineEdit>(dialog, "Linux / OpenSSL", 3, 1), pki().pkcs12);
      question = apptest::answerNextDialog(batchAnswer, "Подписание документов");
      summary = answerSummary();
      clickButton(dialog, "Подписать");
      if (!QTest::qWaitFor([&] { return summary->shown || givenUp; }, 180000)) {
        summary->stopWaiting = question->stopWaiting = true;
        ADD_FAILURE() << "no summary";
      }
    });
    EXPECT_TRUE(came);
    EXPECT_FALSE(window.isVisible());
    questionShown = question && question->shown;
    if (question) question->stopWaiting = true;
    status = window.statusLabel->text();
    return summary ? summary->texts : QString();
  }

  static bool pdfsigValid(const QString& path) {
    QByteArray out;
    testsupport::runTool("pdfsig", {path}, &out);
    return out.contains("Signature is Valid.");
  }

  QTemporaryDir temporary;
  QString tempFolder;
  QTemporaryDir folder;
  QMap<QString, QByteArray> inputs;
  QString broken;
  QString subtitle;
  QString status;
  bool questionShown = false;
  bool givenUp = false;  // a dialog came that leaves no summary to wait for
};

TEST_F(SignatureBatchTest, ThreeGoodFilesAreSignedAndTheBrokenOneIsReported) {
  const QString acts = folder.filePath("acts.pdf");
  // The same file twice, a missing file and a folder are dropped from the arguments.
  const QString summary =
      runEdition({acts, folder.filePath("bill.pdf"), folder.path(), broken, folder.filePath("absent.pdf"),
                  folder.filePath("draft.pdf"), acts},
                 4, "Подписать остальные");
  EXPECT_TRUE(questionShown);
  EXPECT_TRUE(subtitle.contains("acts.pdf")) << subtitle.toStdString();
  for (const char* name : {"acts", "bill", "draft"})
    EXPECT_TRUE(pdfsigValid(folder.filePath(QString::fromLatin1(name) + ".signed.pdf"))) << name;
  EXPECT_TRUE(summary.contains("Дополнительно подписано файлов: 2.")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("Не удалось подписать:\n• broken.pdf — ")) << summary.toStdString();
  EXPECT_FALSE(summary.contains("broken.pdf — Подписание завершилось с ошибкой.")) << "the worker's reason is shown";
  EXPECT_FALSE(summary.contains("bill.pdf —"));
  EXPECT_EQ(status, "Подписание файла 4 из 4");
  // Nothing of the failed file, nothing half-written, no request file left.
  QStringList expected{"acts.pdf", "acts.signed.pdf", "bill.pdf", "bill.signed.pdf", "broken.pdf", "draft.pdf",
                       "draft.signed.pdf"};
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), expected);
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
  for (auto it = inputs.cbegin(); it != inputs.cend(); ++it)
    EXPECT_EQ(readBytes(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(SignatureBatchTest, ABrokenFileFirstOrLastIsNamedAndSkippedWithTheEditionsKeys) {
  // As the edition runs: in its own settings, where its workers remember the key file.
  const QString application = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName("ulvo-ecp");
  const QString acts = folder.filePath("acts.pdf"), bill = folder.filePath("bill.pdf");
  // A name with "%1" and "%2" in it is shown as it is, beside the count.
  const QString percent = folder.filePath("x%1 & %2.pdf");
  ASSERT_TRUE(QFile::copy(broken, percent));
  inputs[percent] = readBytes(percent);
  std::shared_ptr<apptest::DialogSeen> failure;
  QString summary = runEdition({percent, acts, bill}, 4, "Подписать остальные", [&](QDialog* dialog) {
    typeInto(cell<QLineEdit>(dialog, "Linux / OpenSSL", 3, 1), pki().pkcs12);
    failure = apptest::answerNextDialog("Пропустить", "Ошибка подписи");
  });
  EXPECT_TRUE(failure->texts.contains("Не удалось подписать «x%1 & %2.pdf»: ")) << failure->texts.toStdString();
  EXPECT_TRUE(failure->texts.contains("подписать остальные (2)?")) << failure->texts.toStdString();
  EXPECT_TRUE(summary.contains("Подписан: acts.pdf")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("Не удалось подписать:\n• x%1 & %2.pdf — ")) << summary.toStdString();
  ASSERT_TRUE(QFile::remove(percent));
  inputs.remove(percent);
  for (const QString& file : {acts, bill}) EXPECT_TRUE(pdfsigValid(QString(file).replace(".pdf", ".signed.pdf")));
  const QSettings edition(QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) + "/ulvo/ulvo-ecp.conf", QSettings::IniFormat);
  EXPECT_EQ(edition.value("signing/linux/pkcs12Path").toString(), pki().pkcs12);

  // Last, and signed with the certificate the list shows for the edition.
  summary = runEdition({acts, bill, broken}, 4, "Подписать остальные", [&](QDialog* dialog) {
    auto* list = dialog->findChild<QListWidget*>("OpenRecentList");
    QListWidgetItem* listed = list ? list->currentItem() : nullptr;
    ASSERT_TRUE(listed && listed->text().contains("Иван Петров"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(listed).center());
  });
  EXPECT_TRUE(summary.contains("Дополнительно подписано файлов: 1.")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("• broken.pdf — ")) << summary.toStdString();
  EXPECT_TRUE(pdfsigValid(folder.filePath("bill.signed (1).pdf")));
  QCoreApplication::setApplicationName(application);
  for (auto it = inputs.cbegin(); it != inputs.cend(); ++it) EXPECT_EQ(readBytes(it.key()), it.value());
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
}

// A run ending on a failure after files the user skipped names them all.
TEST_F(SignatureBatchTest, ALastFailureAfterSkippedFilesNamesThemAll) {
  ASSERT_TRUE(QFile::copy(broken, folder.filePath("second.pdf")));
  auto ending = std::make_shared<apptest::DialogSeen>();
  runEdition({signingtest::writeBytes(folder.filePath("notes.txt"), "plain words"), broken, folder.filePath("second.pdf")}, 4, "", [&](QDialog* dialog) {
    typeInto(cell<QLineEdit>(dialog, "Linux / OpenSSL", 3, 1), pki().pkcs12);
    apptest::whenModalOpens([this, ending, dialog](QWidget* modal) {
      auto* shown = qobject_cast<QDialog*>(modal);
      if (!shown || shown == dialog) return false;
      for (QLabel* line : shown->findChildren<QLabel*>()) ending->texts = line->text();
      ending->shown = givenUp = !ending->texts.contains("Пропустить этот файл");
      clickButton(shown, ending->shown ? "OK" : "Пропустить");
      if (ending->shown) dialog->reject();  // nothing left to sign
      return ending->shown;
    });
  });
  for (const char* name : {"• notes.txt — ", "• broken.pdf — ", "• second.pdf — "})
    EXPECT_TRUE(ending->texts.contains(name)) << ending->texts.toStdString();
}

TEST_F(SignatureBatchTest, AFirstFileThatCannotBeStampedIsSkippedAndListed) {
  // A damaged PDF cannot take a stamp: it fails before any worker runs, and
  // first in the list it is skipped and listed as it is anywhere else.
  const QString acts = folder.filePath("acts.pdf"), bill = folder.filePath("bill.pdf");
  auto failure = std::make_shared<apptest::DialogSeen>();
  const QString summary = runEdition({broken, acts, bill}, 3, "Подписать остальные", [&](QDialog* dialog) {
    typeInto(cell<QLineEdit>(dialog, "Linux / OpenSSL", 3, 1), pki().pkcs12);
    apptest::whenModalOpens([this, failure](QWidget* modal) {
      if (failure->stopWaiting) return true;
      auto* shown = qobject_cast<QDialog*>(modal);
      if (!shown || shown->windowTitle() != "Подписание") return false;
      for (QLabel* line : shown->findChildren<QLabel*>()) failure->texts += line->text() + '\n';
      failure->shown = true;
      bool skip = false;
      for (QPushButton* button : shown->findChildren<QPushButton*>()) skip = skip || button->text() == "Пропустить";
      // Without the choice to skip there is nothing more to wait for.
      givenUp = !skip;
      clickButton(shown, skip ? "Пропустить" : "OK");
      return true;
    });
  });
  failure->stopWaiting = true;
  EXPECT_TRUE(failure->texts.contains("Не удалось подписать «broken.pdf»: ")) << failure->texts.toStdString();
  EXPECT_TRUE(summary.contains("Подписан: acts.pdf")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("Дополнительно подписано файлов: 1.")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("Не удалось подписать:\n• broken.pdf — ")) << summary.toStdString();
  for (const char* name : {"acts", "bill"})
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QString::fromLatin1(name) + "_подписан.pdf.sig"))) << name;
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("broken_подписан.pdf")));
  for (auto it = inputs.cbegin(); it != inputs.cend(); ++it) EXPECT_EQ(readBytes(it.key()), it.value());
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
}

TEST_F(SignatureBatchTest, TheEditionsRefusalNamesTheRevocationChoiceOfItsOwnDialog) {
  // The edition has no settings window: a refused certificate points to the
  // choice in the signature dialog, and that choice lets the file be signed.
  // The dialog and its workers share the edition's settings file, as they
  // do outside the tests.
  const QString application = QCoreApplication::applicationName();
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, qEnvironmentVariable("XDG_CONFIG_HOME"));
  QCoreApplication::setApplicationName("ulvo-ecp");
  QSettings().clear();
  const QString acts = folder.filePath("acts.pdf");
  auto refusal = std::make_shared<apptest::DialogSeen>();
  const QString summary = runEdition({acts}, 0, "Подписать остальные", [&](QDialog* dialog) {
    fillKeyFiles(dialog, {pki().revokedCert, pki().goodKey, {}, {}, {}});
    QComboBox* revocation = nullptr;
    for (QComboBox* combo : dialog->findChildren<QComboBox*>())
      if (combo->findData("never") >= 0) revocation = combo;
    auto refusals = std::make_shared<int>(0);
    apptest::whenModalOpens([this, refusal, refusals, dialog, revocation](QWidget* modal) {
      if (refusal->stopWaiting) return true;
      auto* shown = qobject_cast<QDialog*>(modal);
      if (!shown || shown->windowTitle() != "Ошибка подписи" || !shown->isVisible()) return false;
      if (++*refusals == 1)
        for (QLabel* line : shown->findChildren<QLabel*>()) refusal->texts += line->text() + '\n';
      clickButton(shown, "OK");
      // No choice to make, or refused again: nothing more to wait for.
      if (!revocation || *refusals > 1) return givenUp = true;
      // Where the message says: the same dialog, the check switched off, signed again.
      QTimer::singleShot(0, dialog, [dialog, revocation] {
        (void)QTest::qWaitFor([dialog] { return QApplication::activeModalWidget() == dialog; }, 5000);
        // A mouse's wheel over it scrolls the dialog and changes nothing; keys do, kept only by signing.
        dialog->findChild<QScrollArea*>()->ensureWidgetVisible(revocation);
        const QScrollBar* bar = dialog->findChild<QScrollArea*>()->verticalScrollBar();
        const int scrolled = bar->value();
        QWheelEvent wheel({5, 5}, revocation->mapToGlobal(QPointF(5, 5)), {}, {0, scrolled > 0 ? 120 : -120}, {}, {},
                          Qt::NoScrollPhase, false);
        qt_sendSpontaneousEvent(dialog->childAt(revocation->mapTo(dialog, QPoint(5, 5))), &wheel);
        EXPECT_NE(bar->value(), scrolled);
        EXPECT_EQ(revocation->currentData().toString(), "sign");
        chooseByKeys(revocation, "never");
        EXPECT_EQ(QSettings().value("signing/revocationMode").toString(), "sign");
        clickButton(dialog, "Подписать");
      });
      return false;
    });
    ASSERT_NE(revocation, nullptr);
    EXPECT_EQ(revocation->currentData().toString(), "sign");
    dialog->resize(1, 1);  // at its smallest, nothing past its right edge
    QTest::qWait(50);
    const QScrollArea* groups = dialog->findChild<QScrollArea*>();
    EXPECT_LE(groups->widget()->width(), groups->viewport()->width());
  });
  refusal->stopWaiting = true;
  EXPECT_TRUE(refusal->texts.contains("не прошёл проверку отзыва: сертификат отозван")) << refusal->texts.toStdString();
  EXPECT_TRUE(refusal->texts.contains("в окне подписи: «Проверка отзыва»")) << refusal->texts.toStdString();
  EXPECT_FALSE(refusal->texts.contains("Настройки →")) << refusal->texts.toStdString();
  EXPECT_TRUE(summary.contains("Подписан: acts.pdf")) << summary.toStdString();
  EXPECT_EQ(testsupport::runTool("openssl", {"cms", "-verify", "-binary", "-inform", "DER", "-in", acts + ".sig",
                                             "-content", acts, "-CAfile", pki().caCert, "-out", "/dev/null"}),
            0);
  EXPECT_EQ(QSettings().value("signing/revocationMode").toString(), "never");
  QSettings().clear();
  apptest::useCleanSettings();
  QCoreApplication::setApplicationName(application);
}

TEST_F(SignatureBatchTest, DetachedBatchSignsEachFileAndDecliningLeavesTheRestAlone) {
  const QString acts = folder.filePath("acts.pdf"), bill = folder.filePath("bill.pdf");
  // Detached signatures need no PDF: the broken file is signed as bytes.
  QString summary = runEdition({acts, broken, bill}, 0, "Подписать остальные");
  for (const QString& file : {acts, broken, bill})
    EXPECT_EQ(testsupport::runTool("openssl", {"cms", "-verify", "-binary", "-inform", "DER", "-in", file + ".sig",
                                               "-content", file, "-CAfile", pki().caCert, "-out", "/dev/null"}),
              0)
        << file.toStdString();
  EXPECT_TRUE(summary.contains("Дополнительно подписано файлов: 2.")) << summary.toStdString();
  EXPECT_FALSE(summary.contains("Не удалось подписать"));

  // Declined: only the first file gets its (second) signature.
  summary = runEdition({acts, bill}, 0, "Не подписывать");
  EXPECT_TRUE(summary.contains("Остальные PDF не подписывались по выбору пользователя.")) << summary.toStdString();
  EXPECT_TRUE(QFileInfo::exists(acts + " (1).sig"));
  EXPECT_FALSE(QFileInfo::exists(bill + " (1).sig"));
  for (auto it = inputs.cbegin(); it != inputs.cend(); ++it) EXPECT_EQ(readBytes(it.key()), it.value());
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
}

TEST_F(SignatureBatchTest, WithoutUsableArgumentsTheEditionAsksForFilesAndEndsWhenNoneArePicked) {
  apptest::TestWindow window(AppProduct::Ecp);
  QString startFolder;
  apptest::whenModalOpens<QFileDialog>([&](QFileDialog* chooser) {
    startFolder = chooser->directory().absolutePath();
    QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection);
  });
  window.showEcpStartup({folder.filePath("absent.pdf"), folder.path()});
  EXPECT_EQ(startFolder, QDir::homePath());
  EXPECT_EQ(signatureDialog(), nullptr);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(SignatureBatchTest, StampedCopyOfAFileWhoseSigningFailedIsRemoved) {
  // A worker that refuses one file and signs the others.
  const QString worker = signingtest::writeBytes(
      folder.filePath("worker.sh"),
      "#!/bin/sh\n[ \"$2\" = - ] && request=$(cat)\ncase \"$request\" in *bill_*) echo 'ключ отклонён' >&2; exit 2;; esac\n"
      "printf '%s' \"$request\" | exec '" ULVO_BINARY "' \"$@\"\n");
  QFile::setPermissions(worker, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  setSigningWorkerProgram(worker);
  const QString acts = folder.filePath("acts.pdf"), bill = folder.filePath("bill.pdf"),
                draft = folder.filePath("draft.pdf");
  const QString summary = runEdition({acts, bill, draft}, 3, "Подписать остальные");
  EXPECT_TRUE(summary.contains("Дополнительно подписано файлов: 1.")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("• bill.pdf — ключ отклонён")) << summary.toStdString();
  for (const char* name : {"acts", "draft"}) {
    const QString stamped = folder.filePath(QString::fromLatin1(name) + "_подписан.pdf");
    EXPECT_EQ(testsupport::runTool("openssl", {"cms", "-verify", "-binary", "-inform", "DER", "-in",
                                               stamped + ".sig", "-content",
                                               stamped, "-CAfile", pki().caCert, "-out", "/dev/null"}),
              0)
        << name;
  }
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("bill_подписан.pdf")));
  EXPECT_FALSE(QFileInfo::exists(bill + ".sig"));
  for (auto it = inputs.cbegin(); it != inputs.cend(); ++it) EXPECT_EQ(readBytes(it.key()), it.value());
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
}

}  // namespace

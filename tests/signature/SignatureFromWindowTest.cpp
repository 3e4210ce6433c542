// Signing from the editor window keeps what is already signed, names the
// signer and signs what the user sees; a killed window leaves no secrets and
// no worker behind. Judged by pdfsig, pdftotext, sha256sum, openssl cms,
// pdfimages and /proc.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"
#include "core/PopplerOracles.h"
#include "view/PdfView.h"

#include "core/OwnedLeftovers.h"
#include "signature/SignatureWorkflow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <sys/inotify.h>
#include <unistd.h>

using namespace signaturetest;
using signingtest::pki;
using signingtest::readBytes;

namespace {

// The password-protected container, typed into the dialog.
KeyFiles lockedContainer() { return {{}, {}, {}, pki().legacyPkcs12, QStringLiteral("secret")}; }

QString sha256sum(const QString& file) {
  QByteArray output;
  testsupport::runTool("sha256sum", {file}, &output);
  return QString::fromLatin1(output.left(64)).toUpper();
}

// A facsimile of distinct proportions, so pdfimages can tell it from the rest.
QImage facsimilePicture(QSize size) {
  QImage picture(size, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setPen(QPen(Qt::darkBlue, 4));
  painter.drawEllipse(QRect(QPoint(4, 4), size - QSize(8, 8)));
  return picture;
}

bool hasImageOfSize(const QString& pdf, QSize size) {
  for (const auto& image : testsupport::listPdfImages(pdf))
    if (image.type == "image" && image.size == size) return true;
  return false;
}

class SignatureFromWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"openssl", "pdfsig", "pdftotext", "pdfimages", "sha256sum"})
      ASSERT_TRUE(testsupport::hasTool(tool)) << tool;
    ASSERT_FALSE(pki().goodCert.isEmpty());
    useIsolatedFolders();
    QSettings().clear();
    ASSERT_TRUE(temporary.isValid());
    tempFolder = useFreshTemporaryFolder(temporary);
    source = folder.filePath("intro.pdf");
    ASSERT_TRUE(testsupport::writePdf(source, {{"Вступление", true}, {"Глава", false}}));
    window.openFile(source);
    ASSERT_EQ(window.activeIndex, 0);
  }
  void TearDown() override { restoreTemporaryFolder(); }

  QTemporaryDir temporary;
  QString tempFolder;
  QTemporaryDir folder;
  QString source;
  apptest::TestWindow window;
};

TEST_F(SignatureFromWindowTest, SigningASignedFileAgainKeepsEverySignatureValid) {
  signFromWindow(window, 4, lockedContainer(), "Подпись создана");
  const QString once = folder.filePath("intro.signed.pdf");
  ASSERT_EQ(signingtest::pdfsigValidations(once), QStringList{"Signature is Valid."});
  const QByteArray onceBytes = readBytes(once);

  window.openFile(once);
  signFromWindow(window, 4, lockedContainer(), "Подпись создана");
  const QString twice = folder.filePath("intro.signed.signed.pdf");
  EXPECT_EQ(signingtest::pdfsigValidations(twice), QStringList({"Signature is Valid.", "Signature is Valid."}));
  EXPECT_TRUE(readBytes(twice).startsWith(onceBytes)) << "the second signature is an appended update";
  EXPECT_EQ(readBytes(once), onceBytes);

  // Unsaved edits: the user is asked, and told what a full save does; signing
  // the file on disk keeps both signatures.
  ASSERT_TRUE(window.currentDocument->insertBlankPage(1, QSizeF(595, 842)));
  std::shared_ptr<apptest::DialogSeen> question;
  signFromWindow(window, 4, lockedContainer(), "Подпись создана", [&](QDialog*) {
    question = apptest::answerNextDialog("Подписать файл с диска", "Подписание");
  });
  EXPECT_TRUE(question->texts.contains("станут недействительными")) << question->texts.toStdString();
  EXPECT_EQ(signingtest::pdfsigValidations(folder.filePath("intro.signed.signed (1).pdf")),
            QStringList({"Signature is Valid.", "Signature is Valid."}));
}

TEST_F(SignatureFromWindowTest, StampNamesTheCertificateAndTheFileOnDisk) {
  for (const QString& expected : {QStringLiteral("intro_подписан.pdf"), QStringLiteral("intro_подписан (1).pdf")}) {
    SCOPED_TRACE(expected.toStdString());
    window.activateDocument(0);
    signFromWindow(window, 3, lockedContainer(), "Подпись создана");
    const QString stamped = folder.filePath(expected);
    const QString text = oracles::pageText(stamped, 1);
    EXPECT_TRUE(text.contains("Подписант: Иван Петров")) << text.toStdString();
    EXPECT_TRUE(text.contains("Ulvo Test CA")) << text.toStdString();
    EXPECT_FALSE(text.contains(".p12"));
    // The digest of the original as stored, the same in every run.
    EXPECT_TRUE(QString(text).remove(QRegularExpression("\\s")).contains(sha256sum(source))) << text.toStdString();
    // The detached signature is named after the file it signs.
    EXPECT_TRUE(signingtest::opensslVerifies(stamped + ".sig", stamped));
  }
  const QJsonArray journal = QJsonDocument::fromJson(readBytes(
      QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/signature-journal.json")).array();
  ASSERT_FALSE(journal.isEmpty());
  const QJsonObject last = journal.last().toObject();
  EXPECT_TRUE(last.value("certificateSubject").toString().contains("Иван Петров"));
  EXPECT_TRUE(last.value("certificateIssuer").toString().contains("Ulvo Test CA"));
  EXPECT_EQ(last.value("certificateSerial").toString(),
            signingtest::opensslCertificateField(pki().goodCert, {"-serial"}));
}

TEST_F(SignatureFromWindowTest, FacsimilePlacedButNotAppliedIsSigned) {
  const auto place = [&](int page, QSize size) {
    window.activateDocument(0);
    ASSERT_TRUE(window.view->appendEditableImageBlocks(page, QRectF(60, 60, size.width(), size.height()),
                                                       {facsimilePicture(size)}));
  };
  place(0, QSize(90, 52));
  signFromWindow(window, 4, lockedContainer(), "Подпись создана", [](QDialog*) {
    apptest::answerNextDialog("Подписать с изменениями", "Подписание");
  });
  const QString embedded = folder.filePath("intro.signed.pdf");
  EXPECT_TRUE(hasImageOfSize(embedded, QSize(90, 52)));
  EXPECT_EQ(signingtest::pdfsigValidations(embedded), QStringList{"Signature is Valid."});

  place(1, QSize(70, 40));
  signFromWindow(window, 3, lockedContainer(), "Подпись создана", [](QDialog*) {
    apptest::answerNextDialog("Подписать с изменениями", "Подписание");
  });
  EXPECT_TRUE(hasImageOfSize(folder.filePath("intro_подписан.pdf"), QSize(70, 40)));
}

// A signed file is never rewritten unasked. Saving an edit of it from the
// window asks first: "Отмена" leaves the file byte for byte, a copy under a
// new name keeps the signed file valid, and only the user's explicit choice
// rewrites it and breaks its signature.
TEST_F(SignatureFromWindowTest, SavingAnEditedSignedFileAsksBeforeBreakingItsSignature) {
  ASSERT_TRUE(testsupport::hasTool("cmp"));
  signFromWindow(window, 4, lockedContainer(), "Подпись создана");
  const QString signedFile = folder.filePath("intro.signed.pdf");
  ASSERT_EQ(signingtest::pdfsigValidations(signedFile), QStringList{"Signature is Valid."});
  const QString original = signingtest::writeBytes(folder.filePath("original-bytes"), readBytes(signedFile));
  window.resize(1200, 800);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const auto editSigned = [&] {
    window.openFile(signedFile);
    ASSERT_TRUE(window.view->appendEditableImageBlocks(0, QRectF(60, 60, 90, 52), {facsimilePicture(QSize(90, 52))}));
    window.ribbon->setCurrentIndex(0);
  };
  const auto clickSave = [&] {
    for (QToolButton* button : window.ribbon->widget(0)->findChildren<QToolButton*>())
      if (button->toolTip().startsWith("Сохранить") && !button->toolTip().contains("как"))
        return QTest::mouseClick(button, Qt::LeftButton);
    ADD_FAILURE() << "no save button";
  };
  editSigned();

  auto question = apptest::answerNextDialog("Отмена", "Подписанный документ");
  clickSave();
  ASSERT_TRUE(question->shown);
  EXPECT_TRUE(question->texts.contains("станут недействительными")) << question->texts.toStdString();
  EXPECT_EQ(testsupport::runTool("cmp", {original, signedFile}), 0);
  EXPECT_TRUE(window.currentDocument->isModified());

  // "Сохранить копию..." whose file chooser is cancelled writes nothing.
  apptest::whenModalOpens<QFileDialog>(
      [](QFileDialog* chooser) { QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection); });
  question = apptest::answerNextDialog("Сохранить копию...", "Подписанный документ");
  clickSave();
  ASSERT_TRUE(question->shown);
  EXPECT_EQ(testsupport::runTool("cmp", {original, signedFile}), 0);
  // Save As onto the signed file itself asks the same question.
  apptest::whenModalOpens<QFileDialog>([&](QFileDialog* chooser) {
    chooser->setOption(QFileDialog::DontConfirmOverwrite);  // Qt's own question is not this test's
    chooser->selectFile(signedFile);
    QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
  });
  question = apptest::answerNextDialog("Отмена", "Подписанный документ");
  ASSERT_TRUE(apptest::showActive(&window, QSize(1200, 800)));
  QTest::keySequence(&window, QKeySequence("Ctrl+Shift+S"));
  ASSERT_TRUE(question->shown);
  EXPECT_EQ(testsupport::runTool("cmp", {original, signedFile}), 0);
  apptest::chooseFileInNextDialog(signedFile);  // a copy over the signed file itself asks again
  question = apptest::answerNextDialog("Сохранить копию...", "Подписанный документ");
  const auto again = apptest::answerNextDialog("Отмена", "Подписанный документ");
  clickSave();
  EXPECT_TRUE(again->shown);
  EXPECT_EQ(testsupport::runTool("cmp", {original, signedFile}), 0);
  const QString copy = folder.filePath("intro edited.pdf");
  apptest::chooseFileInNextDialog(copy);
  question = apptest::answerNextDialog("Сохранить копию...", "Подписанный документ");
  clickSave();
  ASSERT_TRUE(question->shown);
  EXPECT_EQ(testsupport::runTool("cmp", {original, signedFile}), 0);
  EXPECT_EQ(signingtest::pdfsigValidations(signedFile), QStringList{"Signature is Valid."});
  EXPECT_TRUE(hasImageOfSize(copy, QSize(90, 52)));
  EXPECT_TRUE(question->texts.contains("Подписи в копии будут недействительны"));
  EXPECT_EQ(signingtest::pdfsigValidations(copy), QStringList{"Digest Mismatch."});
  EXPECT_EQ(window.currentDocument->filePath(), copy);

  editSigned();  // saved as a PDF under a new name through "Сохранить как / Экспорт": asked too
  const QString exported = folder.filePath("intro exported.pdf");
  for (const QString answer : {"Отмена", "Сохранить копию"}) {
    apptest::chooseFileInNextDialog(exported, "PDF документ (*.pdf)");
    question = apptest::answerNextDialog(answer, "Подписанный документ");
    ASSERT_TRUE(apptest::showActive(&window, QSize(1200, 800)));
    QTest::keySequence(&window, QKeySequence("Ctrl+Shift+S"));
    EXPECT_TRUE(question->texts.contains("Подписи в копии будут недействительны")) << question->texts.toStdString();
    EXPECT_EQ(QFile::exists(exported), answer != "Отмена");
  }
  EXPECT_NE(signingtest::pdfsigValidations(exported), QStringList{"Signature is Valid."});

  editSigned();
  question = apptest::answerNextDialog("Сохранить и нарушить подписи", "Подписанный документ");
  clickSave();
  ASSERT_TRUE(question->shown);
  EXPECT_EQ(window.statusLabel->text(), "Сохранено");
  EXPECT_TRUE(hasImageOfSize(signedFile, QSize(90, 52)));
  EXPECT_EQ(signingtest::pdfsigValidations(signedFile), QStringList{"Digest Mismatch."});
}

// A stamped copy of a signed PDF is the signed file with the stamp appended:
// the earlier signature stays valid in it, and the stamp is on the page.
TEST_F(SignatureFromWindowTest, StampedCopyOfASignedFileKeepsItsSignatureValid) {
  signFromWindow(window, 4, lockedContainer(), "Подпись создана");
  const QString signedFile = folder.filePath("intro.signed.pdf");
  window.openFile(signedFile);
  signFromWindow(window, 3, lockedContainer(), "Подпись создана");
  const QString stamped = folder.filePath("intro.signed_подписан.pdf");
  EXPECT_EQ(signingtest::pdfsigValidations(stamped), QStringList{"Signature is Valid."});
  EXPECT_TRUE(readBytes(stamped).startsWith(readBytes(signedFile)));
  EXPECT_TRUE(oracles::pageText(stamped, 1).contains("Подписант: Иван Петров"));
}

// A file opened with its password gets its stamped copy like any other, with
// or without unsaved edits, locked with the same password.
TEST_F(SignatureFromWindowTest, StampedCopyOfALockedFileIsMadeAndStaysLocked) {
  const QString locked = folder.filePath("locked.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "user-pw", "owner-pw", "256", "--", source, locked}), 0);
  const auto typePassword = [] {
    apptest::whenModalOpens([](QWidget* modal) {
      auto* prompt = qobject_cast<QDialog*>(modal);
      if (!prompt || prompt->windowTitle() != "Пароль PDF") return false;
      QTest::keyClicks(prompt->findChild<QLineEdit*>(), "user-pw");
      QMetaObject::invokeMethod(prompt, "accept", Qt::QueuedConnection);
      return true;
    });
  };
  typePassword();
  window.openFile(locked);
  ASSERT_EQ(window.currentDocument->filePath(), locked);
  for (const bool edited : {false, true}) {
    SCOPED_TRACE(edited);
    window.activateDocument(1);  // the locked file's tab
    typePassword();  // the stamped copy opens in a tab of its own
    if (edited) window.currentDocument->markModified();
    signFromWindow(window, 3, lockedContainer(), "Подпись создана", [&](QDialog*) {
      if (edited) apptest::answerNextDialog("Подписать с изменениями", "Подписание");
    });
    const QString stamped = folder.filePath(edited ? "locked_подписан (1).pdf" : "locked_подписан.pdf");
    QByteArray report;
    testsupport::runTool("qpdf", {"--show-encryption", "--password=user-pw", stamped}, &report);
    EXPECT_TRUE(report.contains("R = 6")) << report.constData();
    EXPECT_TRUE(oracles::pageText(stamped, 1, {"-upw", "user-pw"}).contains("Подписант: Иван Петров"));
  }
}

// A .p7m opened in the window is never written over: Save asks, a copy goes
// to a new PDF, autosave leaves the envelope alone.
TEST_F(SignatureFromWindowTest, AttachedSignatureEnvelopeIsNeverWrittenOver) {
  const QString envelope = folder.filePath("act.pdf.p7m");
  ASSERT_EQ(testsupport::runTool("openssl", {"cms", "-sign", "-nodetach", "-binary", "-outform", "DER", "-in", source,
                                             "-signer", pki().goodCert, "-inkey", pki().goodKey, "-out", envelope}),
            0);
  const QByteArray sealed = readBytes(envelope);
  window.openFile(envelope);
  ASSERT_EQ(window.currentDocument->filePath(), envelope);
  ASSERT_TRUE(window.currentDocument->insertBlankPage(1, QSizeF(595, 842)));
  window.autoSaveTimer->start(1);
  QTest::qWait(50);
  window.autoSaveTimer->stop();

  QString proposed;
  apptest::whenModalOpens<QFileDialog>([&](QFileDialog* chooser) {
    proposed = chooser->selectedFiles().value(0);
    QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
  });
  auto question = apptest::answerNextDialog("Сохранить копию...", "Подписанный документ");
  ASSERT_TRUE(apptest::showActive(&window, QSize(1200, 800)));
  QTest::keySequence(&window, QKeySequence::Save);
  ASSERT_TRUE(question->shown);
  EXPECT_EQ(QFileInfo(proposed).fileName(), "act.pdf");
  EXPECT_TRUE(readBytes(envelope) == sealed);
  EXPECT_TRUE(signingtest::opensslVerifies(envelope));
  EXPECT_EQ(oracles::pageTexts(folder.filePath("act.pdf")).size(), 3);
  EXPECT_EQ(window.currentDocument->filePath(), folder.filePath("act.pdf"));

  // Typed as the envelope's own name, the copy is act.pdf.p7m.pdf: that file, not the envelope, is asked about.
  signingtest::writeBytes(envelope + ".pdf", "an older copy");
  window.openFile(envelope);
  apptest::chooseFileInNextDialog(envelope);
  question = apptest::answerNextDialog("Сохранить копию...", "Подписанный документ");
  const auto replacing = apptest::answerNextDialog("Заменить", "Замена файла");
  ASSERT_TRUE(apptest::showActive(&window, QSize(1200, 800)));
  QTest::keySequence(&window, QKeySequence::Save);
  EXPECT_TRUE(replacing->texts.contains("«act.pdf.p7m.pdf»")) << replacing->texts.toStdString();
  EXPECT_EQ(oracles::pageTexts(envelope + ".pdf").size(), 2);
  EXPECT_TRUE(readBytes(envelope) == sealed);
}

// The window process of the test below; it does nothing on its own.
TEST(SignatureWindowProcess, SignsUntilKilled) {
  const QString document = qEnvironmentVariable("ULVO_TEST_SIGNING_WINDOW");
  if (document.isEmpty()) GTEST_SKIP() << "run by KilledWindowLeavesNoRequestAndNoWorker";
  useIsolatedFolders();
  apptest::TestWindow window;
  window.openFile(document);
  // With unsaved edits, signed embedded: the edits travel through a copy.
  const bool edits = qEnvironmentVariableIsSet("ULVO_TEST_SIGNING_EDITS");
  if (edits) window.currentDocument->markModified();
  runSignatureDialog(window, [&](QDialog* dialog) {
    fillKeyFiles(dialog, {qEnvironmentVariable("ULVO_TEST_SIGNING_CERT"), qEnvironmentVariable("ULVO_TEST_SIGNING_KEY"),
                          {}, {}, {}});
    if (edits) {
      chooseByKeys(cell<QComboBox>(dialog, "Режим подписи", 0, 1), 4);
      apptest::answerNextDialog("Подписать с изменениями", "Подписание");
    }
    clickButton(dialog, "Подписать");
    QTest::qWait(120000);  // killed long before
  });
}

// The names made (created or moved in) in the folder `watch` has watched.
QByteArray namesMadeIn(int watch) {
  QByteArray names;
  alignas(inotify_event) char buffer[65536];
  for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
    for (char* at = buffer; at < buffer + got; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
      names += ' ' + QByteArray(reinterpret_cast<inotify_event*>(at)->name);
  return names;
}

// Starts a window process that signs the source and kills it while its
// worker waits for the certificate's revocation list (served by this process,
// never answering). True when that moment was reached.
bool killWindowMidSigning(const QString& source, const QString& tempFolder, bool edits) {
  QProcess windowProcess;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (edits) environment.insert("ULVO_TEST_SIGNING_EDITS", "1");
  environment.insert("ULVO_TEST_SIGNING_WINDOW", source);
  environment.insert("ULVO_TEST_SIGNING_CERT", pki().stalledCert);
  environment.insert("ULVO_TEST_SIGNING_KEY", pki().goodKey);
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  windowProcess.setProcessEnvironment(environment);
  windowProcess.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_filter=SignatureWindowProcess.SignsUntilKilled"});
  if (!windowProcess.waitForStarted(10000)) {
    ADD_FAILURE() << "the window process did not start";
    return false;
  }
  // Mid-signing: the worker runs the revocation check of the key's certificate.
  const auto signing = [&] {
    for (int pid : signingtest::processesMentioning(tempFolder)) {
      QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
      if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("verify")) return true;
    }
    return false;
  };
  const bool reached = QTest::qWaitFor(signing, 90000);
  ::kill(pid_t(windowProcess.processId()), SIGKILL);
  windowProcess.waitForFinished(10000);
  EXPECT_TRUE(reached) << windowProcess.readAllStandardOutput().toStdString();
  return reached;
}

TEST_F(SignatureFromWindowTest, KilledWindowLeavesNoRequestAndNoWorker) {
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(tempFolder).constData(), IN_CREATE | IN_MOVED_TO), 0);
  ASSERT_TRUE(killWindowMidSigning(source, tempFolder, false));
  // The passwords went through a pipe: no request file was ever made.
  const QByteArray made = namesMadeIn(watch);
  ::close(watch);
  EXPECT_FALSE(made.contains("request")) << made.constData();
  EXPECT_TRUE(QTest::qWaitFor([&] { return signingtest::processesMentioning(tempFolder).isEmpty(); }, 10000))
      << "a signing process outlived its window";
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
}

// Killed while signing unsaved edits, the window leaves the private folder
// of the document's copy, whose bytes were in memory only; the next start's
// sweep removes it with the rest.
TEST_F(SignatureFromWindowTest, CopyOfEditsLeftByAKilledWindowGoesAtTheNextStart) {
  ASSERT_TRUE(killWindowMidSigning(source, tempFolder, true));
  EXPECT_TRUE(QTest::qWaitFor([&] { return signingtest::processesMentioning(tempFolder).isEmpty(); }, 10000));
  const QStringList left = leftoverSigningFiles(tempFolder);
  EXPECT_TRUE(left.join(' ').contains("ulvo-sign-source-")) << left.join(' ').toStdString();
  for (const QString& copy : QDir(tempFolder).entryList({"ulvo-sign-source-*"}, QDir::Dirs))
    EXPECT_TRUE(QFileInfo(tempFolder + "/" + copy + "/source.pdf").isSymLink());  // the bytes never lay on disk
  removeStaleOwnedTemporaryFolders(tempFolder);  // what the program does first at its start
  EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
}

// A signed copy with the edits of a locked document cannot keep its lock:
// the user is asked before anything is written, and "Отмена" writes nothing.
TEST_F(SignatureFromWindowTest, LockedDocumentsEditsAreSignedOnlyAfterTheUserHearsTheCopyIsUnlocked) {
  if (!testsupport::hasTool("qpdf")) GTEST_SKIP() << "qpdf missing";
  const QString locked = folder.filePath("locked.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "user-pw", "owner-pw", "256", "--", source, locked}), 0);
  apptest::whenModalOpens([](QWidget* widget) {
    auto* form = qobject_cast<QDialog*>(widget);
    if (!form || form->windowTitle() != QStringLiteral("Пароль PDF")) return false;
    QTest::keyClicks(form->findChild<QLineEdit*>(), QStringLiteral("user-pw"));
    clickButton(form, "Открыть");
    return true;
  });
  window.openFile(locked);
  ASSERT_EQ(window.documents.size(), 2u);
  window.currentDocument->markModified();

  // A stamped copy keeps the lock (its own test); an embedded signature cannot.
  for (int mode : {4}) {
    SCOPED_TRACE(mode);
    std::shared_ptr<apptest::DialogSeen> warning;
    const bool came = runSignatureDialog(window, [&](QDialog* dialog) {
      chooseByKeys(cell<QComboBox>(dialog, "Режим подписи", 0, 1), mode);
      fillKeyFiles(dialog, lockedContainer());
      apptest::whenModalOpens([&warning](QWidget* widget) {
        auto* question = qobject_cast<QDialog*>(widget);
        if (!question || question->windowTitle() != QStringLiteral("Подписание")) return false;
        for (QPushButton* button : question->findChildren<QPushButton*>())
          if (button->text() == QStringLiteral("Подписать с изменениями")) {
            button->click();
            warning = apptest::answerNextDialog("Отмена", "Подписание");
            return true;
          }
        return false;
      });
      // Signed without a word, the run's own message is answered so the test ends.
      auto signedUnasked = apptest::answerNextDialog("OK", "Подпись создана");
      clickButton(dialog, "Подписать");
      EXPECT_TRUE(QTest::qWaitFor([&] { return (warning && warning->shown) || signedUnasked->shown; }, 60000));
      signedUnasked->stopWaiting = true;
      if (warning) warning->stopWaiting = true;
      if (dialog->isVisible()) clickButton(dialog, "Отмена");
    });
    ASSERT_TRUE(came);
    ASSERT_TRUE(warning && warning->shown);
    EXPECT_TRUE(warning->texts.contains(QStringLiteral("защищён паролем"))) << warning->texts.toStdString();
    EXPECT_TRUE(warning->texts.contains(QStringLiteral("без пароля"))) << warning->texts.toStdString();
    const QStringList written = QDir(folder.path()).entryList({"locked*"}, QDir::Files);
    EXPECT_EQ(written, QStringList{"locked.pdf"});
    EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
  }
}

}  // namespace

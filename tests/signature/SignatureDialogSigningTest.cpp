// Signing the open document through the signature dialog, offscreen, with
// the real worker executable; judged by openssl, pdfsig, qpdf, pdftotext and
// pdftoppm.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"
#include "core/PopplerOracles.h"

#include "signature/StampedPdfCopy.h"
#include "signature/SignatureWorkflow.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QSpinBox>
#include <QTest>

using namespace signaturetest;
using signingtest::pki;
using signingtest::opensslVerifies;
using signingtest::readBytes;

namespace {

using Keys = KeyFiles;

Keys pkcs12Keys() { return {QString(), QString(), QString(), pki().pkcs12, QString()}; }

class SignatureDialogSigningTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* tool : {"openssl", "pdfsig", "qpdf", "pdftotext", "pdftoppm"})
      ASSERT_TRUE(testsupport::hasTool(tool)) << tool;
    ASSERT_FALSE(pki().goodCert.isEmpty());
    useIsolatedFolders();
    QSettings().clear();
    ASSERT_TRUE(temporary.isValid());
    tempFolder = useFreshTemporaryFolder(temporary);
    ASSERT_TRUE(folder.isValid());
    source = folder.filePath("report.pdf");
    // QPdfWriter writes a classic cross-reference table, which the embedded
    // signature needs.
    ASSERT_TRUE(testsupport::writePdf(source, {{"Договор поставки", true}, {"Приложение", false}}));
    sourceBytes = readBytes(source);
    window.openFile(source);
    ASSERT_EQ(window.activeIndex, 0);
  }

  void TearDown() override {
    setSigningWorkerProgram(QStringLiteral(ULVO_BINARY));
    restoreTemporaryFolder();
  }

  static void fillKeys(QDialog* dialog, const Keys& keys) { fillKeyFiles(dialog, keys); }

  std::shared_ptr<apptest::DialogSeen> sign(int mode, const Keys& keys, const QString& expectedTitle,
                                            const std::function<void(QDialog*)>& beforeSigning = {},
                                            const std::function<void(QDialog*)>& whileBusy = {}) {
    return signFromWindow(window, mode, keys, expectedTitle, beforeSigning, whileBusy);
  }

  void expectNothingLeftBehind() {
    EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());
    EXPECT_EQ(readBytes(source), sourceBytes) << "the input changed";
  }

  QTemporaryDir temporary;
  QString tempFolder;
  QTemporaryDir folder;
  QString source;
  QByteArray sourceBytes;
  apptest::TestWindow window;
};

}  // namespace

TEST_F(SignatureDialogSigningTest, DetachedAttachedAndEmbeddedSignaturesVerify) {
  // Detached, with the PEM pair and its pass phrase.
  auto seen = sign(0, {pki().goodCert, pki().encryptedKey, "secret", {}, {}}, "Подпись создана");
  const QString detached = folder.filePath("report.pdf.sig");
  EXPECT_TRUE(seen->texts.contains(detached)) << seen->texts.toStdString();
  EXPECT_TRUE(opensslVerifies(detached, source));
  EXPECT_TRUE(window.statusLabel->text().contains("report.pdf.sig"));
  // One journal record per signature, written by the window's process.
  const QByteArray journal = readBytes(
      QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/signature-journal.json");
  EXPECT_TRUE(journal.contains("report.pdf.sig")) << journal.toStdString();
  EXPECT_FALSE(journal.contains("secret"));

  // Attached, with the legacy PKCS#12 container; the content is the document.
  sign(1, {{}, {}, {}, pki().legacyPkcs12, "secret"}, "Подпись создана");
  QByteArray content;
  EXPECT_TRUE(opensslVerifies(folder.filePath("report.p7m"), QString(), &content));
  EXPECT_EQ(content, sourceBytes);

  // Embedded into a copy of the open document.
  sign(4, pkcs12Keys(), "Подпись создана");
  const QString embedded = folder.filePath("report.signed.pdf");
  QByteArray sig;
  testsupport::runTool("pdfsig", {embedded}, &sig);
  EXPECT_TRUE(sig.contains("Signature is Valid.")) << sig.toStdString();
  EXPECT_TRUE(oracles::qpdfCheckPasses(embedded));

  // A second detached signature gets a free name instead of replacing the first.
  const QByteArray first = readBytes(detached);
  sign(0, pkcs12Keys(), "Подпись создана");
  EXPECT_EQ(readBytes(detached), first);
  EXPECT_TRUE(opensslVerifies(folder.filePath("report.pdf (1).sig"), source));

  // The time-stamped kind cannot be signed on this platform: it is shown as
  // unavailable with the reason, cannot be chosen and asks for no address.
  runSignatureDialog(window, [&](QDialog* dialog) {
    auto* modes = cell<QComboBox>(dialog, "Режим подписи", 0, 1);
    const int cadesT = modes->findData(2);
    EXPECT_TRUE(modes->itemText(cadesT).contains("недоступно в Linux")) << modes->itemText(cadesT).toStdString();
    EXPECT_TRUE(modes->itemData(cadesT, Qt::ToolTipRole).toString().contains("CryptoPro"));
    chooseByKeys(modes, 1);
    QTest::keyClick(modes, Qt::Key_Down);
    EXPECT_NE(modes->currentData().toInt(), 2);
    for (QGroupBox* group : dialog->findChildren<QGroupBox*>())
      if (group->title() == "Штамп времени TSA") {
        EXPECT_FALSE(group->isVisible());
      }
    clickButton(dialog, "Отмена");
  });
  expectNothingLeftBehind();
}

TEST_F(SignatureDialogSigningTest, StampedCopyShowsTheStampOnlyWhereChosen) {
  // The certificate list worker describes the configured container, so the
  // stamp names its owner.
  {
    QSettings child(QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) + "/ulvo/ulvo-pdf-editor.conf", QSettings::IniFormat);
    child.setValue("signing/linux/pkcs12Path", pki().pkcs12);
  }
  SignatureStampOptions placed;
  placed.page = 0;
  placed.position = "top-left";
  placed.widthMm = 100;
  placed.heightMm = 40;
  const auto chooseStamp = [&](QDialog* dialog) {
    auto* page = cell<QSpinBox>(dialog, "Видимый штамп PDF", 0, 1);
    EXPECT_EQ(page->maximum(), 2);
    EXPECT_EQ(page->value(), 2);  // the last page is proposed
    QTest::keyClick(page, Qt::Key_Down);
    chooseByKeys(cell<QComboBox>(dialog, "Видимый штамп PDF", 1, 1), placed.position);
    auto* width = cell<QDoubleSpinBox>(dialog, "Видимый штамп PDF", 2, 1);
    width->selectAll();
    QTest::keyClicks(width, "100");
    auto* height = cell<QDoubleSpinBox>(dialog, "Видимый штамп PDF", 2, 1, 1);
    height->selectAll();
    QTest::keyClicks(height, "40");
  };
  auto seen = sign(3, pkcs12Keys(), "Подпись создана", chooseStamp);
  const QString stamped = folder.filePath("report_подписан.pdf");
  ASSERT_TRUE(QFileInfo::exists(stamped)) << seen->texts.toStdString();
  EXPECT_TRUE(seen->texts.contains(stamped));
  // The signature is named after the file it signs.
  EXPECT_TRUE(opensslVerifies(folder.filePath("report_подписан.pdf.sig"), stamped));
  EXPECT_TRUE(oracles::qpdfCheckPasses(stamped));
  // The stamped copy opens in the window.
  EXPECT_EQ(window.documents.size(), 2u);

  const QString text = oracles::pageText(stamped, 0);
  EXPECT_TRUE(text.contains("Иван Петров")) << text.toStdString();
  EXPECT_TRUE(oracles::pageText(stamped, 1).contains("Приложение"));

  // Pixels change inside the stamp's rectangle only, and only on page 1.
  const QImage before = oracles::renderWithPoppler(source, 0, 72).convertToFormat(QImage::Format_RGB32);
  const QImage after = oracles::renderWithPoppler(stamped, 0, 72).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(before.size(), after.size());
  const QRectF box = stampRectOnPage(QSizeF(595, 842), placed);
  const QRect inside = QRectF(box.x(), 842 - box.y() - box.height(), box.width(), box.height()).toAlignedRect();
  const QRect slack = inside.adjusted(-2, -2, 2, 2);
  int changedInside = 0, changedOutside = 0;
  for (int y = 0; y < before.height(); ++y)
    for (int x = 0; x < before.width(); ++x)
      if (before.pixel(x, y) != after.pixel(x, y)) {
        if (inside.contains(x, y)) ++changedInside;
        else if (!slack.contains(x, y)) ++changedOutside;
      }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_GT(changedInside, inside.width() * inside.height() / 10);
  EXPECT_EQ(oracles::renderWithPoppler(source, 1, 36), oracles::renderWithPoppler(stamped, 1, 36));

  // Signing with a stamp again keeps the first stamped copy.
  const QByteArray firstCopy = readBytes(stamped);
  window.activateDocument(0);
  sign(3, pkcs12Keys(), "Подпись создана");
  EXPECT_EQ(readBytes(stamped), firstCopy);
  EXPECT_TRUE(opensslVerifies(folder.filePath("report_подписан (1).pdf.sig"), folder.filePath("report_подписан (1).pdf")));
  expectNothingLeftBehind();
}

TEST_F(SignatureDialogSigningTest, FailuresShowTheirMessageAndLeaveNoSecretsBehind) {
  struct Case {
    const char* name;
    int mode;
    Keys keys;
    const char* messagePart;
  };
  const Case cases[] = {
      {"wrong password", 0, {pki().goodCert, pki().encryptedKey, "wrong", {}, {}}, "закрытый ключ"},
      {"missing key file", 1, {pki().goodCert, folder.filePath("absent.key"), {}, {}, {}},
       "Не удалось открыть закрытый ключ"},
      {"wrong container password", 4, {{}, {}, {}, pki().legacyPkcs12, "wrong"}, "P12/PFX"},
      {"wrong password with a stamp", 3, {pki().goodCert, pki().encryptedKey, "wrong", {}, {}}, "закрытый ключ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto seen = sign(c.mode, c.keys, "Ошибка подписи");
    EXPECT_TRUE(seen->texts.contains(QString::fromUtf8(c.messagePart))) << seen->texts.toStdString();
    // Nothing but the input: no signature, and no stamped copy claiming one.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({"report.pdf"}));
    expectNothingLeftBehind();
  }
}

TEST_F(SignatureDialogSigningTest, CrashingWorkerIsReportedAndClosingWhileBusyIsRefused) {
  // A worker that takes a moment, then dies by a signal.
  const QString crasher = signingtest::writeBytes(folder.filePath("crash.sh"), "#!/bin/sh\nsleep 1\nkill -SEGV $$\n");
  QFile::setPermissions(crasher, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QStringList requestFilesSeen;
  auto seen = sign(
      4, pkcs12Keys(), "Ошибка подписи", [&](QDialog*) { setSigningWorkerProgram(crasher); },
      [&](QDialog* dialog) {
        // While the worker runs: no request lies in a file, and neither
        // Escape nor the close button ends the dialog.
        requestFilesSeen = leftoverSigningFiles(tempFolder);
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        EXPECT_TRUE(dialog->isVisible());
      });
  // The request goes through a pipe; the unchanged document is signed from disk.
  EXPECT_EQ(requestFilesSeen, QStringList());
  EXPECT_TRUE(seen->texts.contains("аварийно завершил подписание")) << seen->texts.toStdString();
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("report.signed.pdf")));
  expectNothingLeftBehind();
}

TEST_F(SignatureDialogSigningTest, EndingTheDialogUnderARunningWorkerEndsItAndItsFiles) {
  const QString slow = signingtest::writeBytes(folder.filePath("slow.sh"), "#!/bin/sh\nexec sleep 60\n");
  QFile::setPermissions(slow, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QElapsedTimer clock;
  runSignatureDialog(window, [&](QDialog* dialog) {
    setSigningWorkerProgram(slow);
    fillKeys(dialog, pkcs12Keys());
    clickButton(dialog, "Подписать");
    EXPECT_EQ(leftoverSigningFiles(tempFolder), QStringList());  // the request goes through a pipe
    clock.start();
    // As when the application quits under the modal dialog.
    dialog->done(QDialog::Rejected);
  });
  EXPECT_LT(clock.elapsed(), 10000);
  expectNothingLeftBehind();
}

TEST_F(SignatureDialogSigningTest, EmbeddedSignatureTakesTheUnsavedEditsOfTheOpenDocument) {
  ASSERT_TRUE(window.currentDocument->insertBlankPage(2, QSizeF(595, 842)));
  std::shared_ptr<apptest::DialogSeen> question;
  sign(4, pkcs12Keys(), "Подпись создана", [&](QDialog*) {
    question = apptest::answerNextDialog("Подписать с изменениями", "Подписание");
  });
  EXPECT_TRUE(question->texts.contains("станут недействительными")) << question->texts.toStdString();
  const QString embedded = folder.filePath("report.signed.pdf");
  EXPECT_EQ(oracles::pdfinfoPages(embedded).size(), 3);
  QByteArray sig;
  testsupport::runTool("pdfsig", {embedded}, &sig);
  EXPECT_TRUE(sig.contains("Signature is Valid.")) << sig.toStdString();
  // The file on disk keeps its two pages; nothing is left in the temporary folder.
  EXPECT_EQ(oracles::pdfinfoPages(source).size(), 2);
  expectNothingLeftBehind();
}

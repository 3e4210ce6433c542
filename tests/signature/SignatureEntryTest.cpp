// The ways into the signature dialog: the file manager's "sign" action with
// PDFs told by content, and the editions that may not sign.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

using namespace signaturetest;

namespace {

QString dialogTexts(QDialog* dialog) {
  QStringList texts;
  for (QLabel* line : dialog->findChildren<QLabel*>()) texts << line->text();
  return texts.join('\n');
}

}  // namespace

TEST(SignatureEntryTest, ShellSignActionTellsPdfsByContent) {
  useIsolatedFolders();
  QTemporaryDir folder;
  const QString first = folder.filePath("first.pdf"), second = folder.filePath("second.dat");
  ASSERT_TRUE(testsupport::writePdf(first, {{"a", false}}));
  ASSERT_TRUE(testsupport::writePdf(second, {{"b", false}}));  // a PDF under another name
  const QString text = signingtest::writeBytes(folder.filePath("notes.pdf"), "plain text, not a PDF");

  apptest::TestWindow window;
  QString texts, output;
  const bool came = driveSignatureDialog(
      [&] { window.runShellAction("sign", {first, text, second}, false); },
      [&](QDialog* dialog) {
        texts = dialogTexts(dialog);
        output = cell<QLineEdit>(dialog, "Файл", 0, 1)->text();
        clickButton(dialog, "Отмена");
      });
  ASSERT_TRUE(came);
  EXPECT_EQ(window.documents.size(), 1u);  // the first PDF was opened to be signed
  EXPECT_TRUE(texts.contains("После первого файла можно будет подписать ещё 1 файл теми же настройками. "
                             "Непохожие на PDF файлы будут пропущены: 1."))
      << texts.toStdString();
  EXPECT_EQ(output, folder.filePath("first.pdf.sig"));

  auto none = apptest::answerNextDialog("OK", "Подписать PDF");
  window.runShellAction("sign", {text}, false);
  EXPECT_TRUE(none->shown);
  EXPECT_TRUE(none->texts.contains("Среди выбранных файлов нет PDF по содержимому.")) << none->texts.toStdString();
}

TEST(SignatureEntryTest, NoDocumentOrNoSigningGetsAMessageInsteadOfTheDialog) {
  useIsolatedFolders();
  struct Case {
    AppProduct edition;
    const char* message;
  };
  const Case cases[] = {{AppProduct::Editor, "Откройте документ, который нужно подписать."},
                        {AppProduct::Viewer, "Подписание ЭЦП недоступно в этой версии программы."}};
  for (const Case& c : cases) {
    apptest::TestWindow window(c.edition);
    auto seen = apptest::answerNextDialog("OK", "Подписание документа");
    window.showSignatureDialog(false, {}, {}, "/no/such/file.pdf");
    EXPECT_TRUE(seen->shown);
    EXPECT_TRUE(seen->texts.contains(QString::fromUtf8(c.message))) << seen->texts.toStdString();
  }
}

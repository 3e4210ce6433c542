// The certificate list of the signature dialog, filled by the real
// certificate-list worker, filtered by typing; its failures shown in the list.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "signature/DistinguishedName.h"
#include "signature/SignatureDialogState.h"
#include "signature/SignatureWorkflow.h"
#include "ui/UiLanguage.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTest>

using namespace signaturetest;
using signingtest::pki;

namespace {

QStringList rows(QDialog* dialog) {
  QStringList texts;
  auto* list = dialog->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text().split('\n').first();
  return texts;
}

QString childSettingsPath() {
  return QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) + "/ulvo/ulvo-pdf-editor.conf";
}

class CertificateListTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(pki().goodCert.isEmpty());
    useIsolatedFolders();
    ASSERT_TRUE(folder.isValid());
    source = folder.filePath("a.pdf");
    ASSERT_TRUE(testsupport::writePdf(source, {{"x", false}}));
    window.openFile(source);
  }
  void TearDown() override {
    QFile::remove(childSettingsPath());
    setSigningWorkerProgram(QStringLiteral(ULVO_BINARY));
  }
  QTemporaryDir folder;
  QString source;
  apptest::TestWindow window;
};

}  // namespace

TEST_F(CertificateListTest, ListsTheConfiguredKeysAndFiltersThem) {
  {
    QSettings child(childSettingsPath(), QSettings::IniFormat);
    child.setValue("signing/linux/pkcs12Path", pki().pkcs12);
    child.setValue("signing/linux/certificatePath", pki().expiredCert);
    child.setValue("signing/linux/privateKeyPath", pki().goodKey);
  }
  runSignatureDialog(window, [&](QDialog* dialog) {
    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
    EXPECT_EQ(rows(dialog).join(" | ").toStdString(),
              "Доступные — Файловый сертификат / OpenSSL | C=RU, O=Test, Org, CN=Иван Петров | "
              "Недоступные — Файловый сертификат / OpenSSL | C=RU, O=Test, Org, CN=Иван Петров");
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(list->item(1)->data(Qt::UserRole).toString(), "linux-file|" + pki().pkcs12);
    EXPECT_TRUE(list->item(3)->text().contains("Недоступен: "));
    EXPECT_EQ(list->item(3)->flags(), Qt::NoItemFlags);

    QLineEdit* filter = nullptr;
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
      if (edit->placeholderText().startsWith("Поиск")) filter = edit;
    ASSERT_TRUE(filter);
    QTest::keyClicks(filter, "zzz");
    EXPECT_EQ(rows(dialog).join(" | ").toStdString(), "Сертификаты не найдены по фильтру.");
    typeInto(filter, "ulvo test ca");
    EXPECT_EQ(rows(dialog).size(), 4);
    EXPECT_EQ(list->currentRow(), 1);  // the chosen certificate stays chosen
    auto* unavailable = dialog->findChild<QCheckBox*>(QStringLiteral("ScanCheckBox"));
    QTest::mouseClick(unavailable, Qt::LeftButton);
    EXPECT_EQ(rows(dialog).size(), 2);
    clickButton(dialog, "Отмена");
  });
}

TEST_F(CertificateListTest, AContainerWithAPasswordIsListedAndNothingConfiguredIsNoError) {
  QFile::remove(childSettingsPath());  // key files remembered by earlier signing
  runSignatureDialog(window, [&](QDialog* dialog) {
    EXPECT_EQ(rows(dialog).join(" | ").toStdString(),
              "Файлы ключей ещё не выбраны: укажите ниже PEM-сертификат и закрытый ключ или P12/PFX контейнер.");
    clickButton(dialog, "Отмена");
  });
  {
    QSettings child(childSettingsPath(), QSettings::IniFormat);
    child.setValue("signing/linux/pkcs12Path", pki().legacyPkcs12);
  }
  runSignatureDialog(window, [&](QDialog* dialog) {
    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text().toStdString(),
              "legacy.p12\nOpenSSL CMS\nНужен пароль контейнера: введите его в поле «Пароль P12/PFX».");
    clickButton(dialog, "Отмена");
  });
}

TEST_F(CertificateListTest, WorkerFailuresAreShownInTheList) {
  struct Case {
    const char* name;
    QByteArray script;
    QString shown;
  };
  const Case cases[] = {
      {"crash", "#!/bin/sh\nkill -SEGV $$\n", "Криптопровайдер аварийно завершил поиск сертификатов."},
      {"stderr", "#!/bin/sh\necho 'token driver failed' >&2\nexit 3\n", "token driver failed"},
      {"no JSON", "#!/bin/sh\necho hello\n", "Изолированный поиск сертификатов вернул некорректный ответ."},
      {"no certificates", "#!/bin/sh\necho '{\"ok\":false,\"error\":\"Нет ключей\",\"certificates\":[]}'\n",
       "Нет ключей"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString script = signingtest::writeBytes(folder.filePath("worker.sh"), c.script);
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setSigningWorkerProgram(script);
    runSignatureDialog(window, [&](QDialog* dialog) {
      EXPECT_EQ(rows(dialog).join(" | ").toStdString(), c.shown.toStdString());
      clickButton(dialog, "Отмена");
    });
  }
}

TEST(CertificateNamesTest, EscapedNamesReadAsLetters) {
  const QString escaped = "C=RU,O=Test\\, Org,CN=\\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD \\D0\\9F\\D0\\B5\\D1\\82\\D1\\80\\D0\\BE\\D0\\B2";
  EXPECT_EQ(readableDistinguishedName(escaped).toStdString(), "C=RU, O=Test, Org, CN=Иван Петров");
  EXPECT_EQ(distinguishedPersonName(escaped).toStdString(), "Иван Петров");
  EXPECT_EQ(distinguishedPersonName("OU=Sales,O=Acme").toStdString(), "Acme");
  EXPECT_EQ(distinguishedPersonName("just text").toStdString(), "just text");
  EXPECT_EQ(distinguishedPersonName("").toStdString(), "");
}

TEST(CertificateSearchTimeoutTest, StoredValuesAreBounded) {
  EXPECT_EQ(certificateSearchTimeoutSeconds("sign", 5), 30);
  EXPECT_EQ(certificateSearchTimeoutSeconds("sign", 5000), 900);
  EXPECT_EQ(certificateSearchTimeoutSeconds("sign", "soon"), 120);
  EXPECT_EQ(certificateSearchTimeoutSeconds("sign", QVariant()), 120);
  EXPECT_EQ(certificateSearchTimeoutSeconds("search", QVariant()), 900);
  EXPECT_TRUE(certificateSearchTimeoutText(900).contains("за 15 мин."));
  EXPECT_TRUE(certificateSearchTimeoutText(45).contains("за 45 сек."));
}

// A container's file name is the user's: in English a container named as an
// interface word keeps its name in the list.
TEST_F(CertificateListTest, ACertificateRowKeepsItsWordsInAnotherLanguage) {
  const QString named = folder.filePath(QStringLiteral("Отмена"));
  ASSERT_TRUE(QFile::copy(pki().legacyPkcs12, named));
  {
    QSettings child(childSettingsPath(), QSettings::IniFormat);
    child.setValue("signing/linux/pkcs12Path", named);
  }
  QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
  applyUiLanguage(QStringLiteral("en"));
  runSignatureDialog(window, [&](QDialog* dialog) {
    QTest::qWait(50);  // the list page's own translation pass, when it is shown
    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text().split('\n').first(), QStringLiteral("Отмена"));
    dialog->close();
  });
  QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("ru"));
  applyUiLanguage(QStringLiteral("ru"));
}

// The file manager's shell actions run as the real program on the offscreen
// platform, with a probe that reports and answers each modal dialog: good
// files reach their dialog and the program ends normally; unusable files are
// named in the message and the exit code is not zero.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ShellRun {
  bool finished = false;
  int exitCode = -1;
  QStringList dialogs;  // "title | texts", in the order they opened
};

class ShellActions : public ::testing::Test {
 protected:
  ShellRun run(const QString& action, const QStringList& files) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ULVO_SHELL_PROBE));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ULVO_BINARY), QStringList{QStringLiteral("--ulvo-shell-") + action} + files);
    ShellRun result;
    result.finished = process.waitForFinished(60000);
    if (!result.finished) {
      process.kill();
      process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    for (const QString& line : QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n')))
      if (line.startsWith(QLatin1String("DIALOG "))) result.dialogs << line.mid(7);
    return result;
  }

  QString file(const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    return path;
  }

  QString pdf(const char* name) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    EXPECT_TRUE(testsupport::writePdf(path, {{QStringLiteral("Shell page"), false, {595, 842}}}));
    return path;
  }

  QTemporaryDir dir;
};

TEST_F(ShellActions, MergeOpensThePageToolsWithTheUsableFiles) {
  const QString a = pdf("a.pdf");
  const QString photo = dir.filePath(QStringLiteral("photo.JPG"));
  QImage(40, 30, QImage::Format_RGB32).save(photo, "JPG");
  const ShellRun result = run(QStringLiteral("merge"), {a, dir.filePath(QStringLiteral("gone.pdf")), a, photo});
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, 0);
  ASSERT_EQ(result.dialogs.size(), 2) << result.dialogs.join('\n').toStdString();
  EXPECT_TRUE(result.dialogs.at(0).contains(QStringLiteral("gone.pdf — файл не найден")));
  EXPECT_TRUE(result.dialogs.at(1).startsWith(QStringLiteral("Операции со страницами |")));
  EXPECT_TRUE(result.dialogs.at(1).endsWith(QStringLiteral(" / a.pdf / photo.JPG"))) << result.dialogs.at(1).toStdString();
}

TEST_F(ShellActions, RefusedActionsNameTheFilesAndExitWithAnError) {
  const QString a = pdf("a.pdf");
  const QString text = file("b.txt", "plain text");
  const QString fake = file("fake.pdf", "not a pdf at all");
  struct Case {
    QString action;
    QStringList files;
    QString title;
    QStringList named;
  };
  const QList<Case> cases = {
      {"merge", {a, a, text}, "Объединение PDF", {"Выберите минимум два", "b.txt — формат не поддерживается"}},
      {"compress", {a, text}, "Сжать PDF", {"Для сжатия выберите один PDF-файл.", "b.txt — не PDF"}},
      {"compress", {fake}, "Ошибка", {"Не удалось открыть файл"}},
      {"sign", {fake, dir.filePath("missing.pdf"), dir.path()}, "Подписать PDF",
       {"нет PDF по содержимому", "fake.pdf — не PDF по содержимому", "missing.pdf — файл не найден",
        "не обычный файл"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action.toStdString() + " " + c.files.join(' ').toStdString());
    const ShellRun result = run(c.action, c.files);
    ASSERT_TRUE(result.finished);
    EXPECT_NE(result.exitCode, 0);
    ASSERT_EQ(result.dialogs.size(), 1) << result.dialogs.join('\n').toStdString();
    EXPECT_TRUE(result.dialogs.first().startsWith(c.title + QStringLiteral(" |"))) << result.dialogs.first().toStdString();
    for (const QString& part : c.named) EXPECT_TRUE(result.dialogs.first().contains(part)) << part.toStdString();
  }
}

TEST_F(ShellActions, CompressAndSignReachTheirDialogsWithGoodFiles) {
  // A PDF under another name counts by its content; a text file named .pdf is skipped.
  const QString scan = dir.filePath(QStringLiteral("scan.bin"));
  ASSERT_TRUE(QFile::copy(pdf("source.pdf"), scan));
  const QString report = pdf("report.PDF");
  for (const auto& [action, files] : QList<QPair<QString, QStringList>>{
           {QStringLiteral("compress"), {report}}, {QStringLiteral("sign"), {scan, file("fake.pdf", "text")}}}) {
    SCOPED_TRACE(action.toStdString());
    const ShellRun result = run(action, files);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_FALSE(result.dialogs.isEmpty());
    // Not the refusal of the action: the dialog the action hands over to.
    EXPECT_FALSE(result.dialogs.first().startsWith(QStringLiteral("Сжать PDF |")));
    EXPECT_FALSE(result.dialogs.first().startsWith(QStringLiteral("Подписать PDF |")));
    EXPECT_FALSE(result.dialogs.first().startsWith(QStringLiteral("Ошибка |")));
  }
}

}  // namespace

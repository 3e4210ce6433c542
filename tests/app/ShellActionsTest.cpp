// The file manager's shell actions run as the real program on the offscreen
// platform, with a probe that reports and answers each modal dialog: good
// files reach their dialog and the program ends normally; unusable files are
// named in the message and the exit code is not zero.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct ShellRun {
  bool finished = false;
  int exitCode = -1;
  QStringList dialogs;  // "title | texts", in the order they opened
};

class ShellActions : public ::testing::Test {
 protected:
  ShellRun run(const QString& action, const QStringList& files) {
    return runProgram(QStringLiteral(ULVO_BINARY), QStringList{QStringLiteral("--ulvo-shell-") + action} + files);
  }

  // The program started through another (a shell, a resource limit), from
  // the test's folder.
  ShellRun runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ULVO_SHELL_PROBE));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("ULVO_MARKER_FILE"), dir.filePath(QStringLiteral("marker-loaded")));
    environment.insert(QStringLiteral("ULVO_PRELOADER_STEP_MS"), QStringLiteral("0"));
    environment.insert(QStringLiteral("ULVO_PROBE_QUIT_MS"), QStringLiteral("8000"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(program, arguments);
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

TEST_F(ShellActions, FileNamesThatLookLikeQtOptionsAreOnlyFiles) {
  // "ulvo --ulvo-shell-merge *" in a folder whose names a glob turns into
  // Qt's options: a plugin folder and a platform plugin of the attacker's.
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("plugins")));
  ASSERT_TRUE(QFile::copy(QStringLiteral(ULVO_MARKER_PLATFORM), dir.filePath(QStringLiteral("plugins/libmarker.so"))));
  for (const char* name : {"-platformpluginpath", "-platform", "marker"}) file(name, "");
  for (const QString& action : {QStringLiteral("merge"), QStringLiteral("sign")}) {
    SCOPED_TRACE(action.toStdString());
    const ShellRun result = run(action, {QStringLiteral("-platformpluginpath"), QStringLiteral("plugins"),
                                         QStringLiteral("-platform"), QStringLiteral("marker")});
    ASSERT_TRUE(result.finished);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("marker-loaded"))));
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.dialogs.size(), 1) << result.dialogs.join('\n').toStdString();
    // Each argument was taken as a file and judged as one.
    EXPECT_TRUE(result.dialogs.first().contains(QStringLiteral("-platformpluginpath — "))) << result.dialogs.first().toStdString();
    EXPECT_TRUE(result.dialogs.first().contains(QStringLiteral("plugins — не обычный файл")));
  }
  // A normal start takes everything after "--" as a file too.
  const ShellRun opened = runProgram(QStringLiteral(ULVO_BINARY),
                                     {QStringLiteral("--"), QStringLiteral("-platform"), QStringLiteral("marker")});
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("marker-loaded"))));
  ASSERT_FALSE(opened.dialogs.isEmpty());
  EXPECT_TRUE(opened.dialogs.first().startsWith(QStringLiteral("Ошибка |"))) << opened.dialogs.first().toStdString();
  EXPECT_TRUE(opened.dialogs.first().contains(QStringLiteral("-platform"))) << opened.dialogs.first().toStdString();
}

TEST_F(ShellActions, NamesThatAreNotUtf8MergeAndSign) {
  // Latin-1 names, as an old archive leaves them; the shell's glob passes the raw bytes.
  for (const char* name : {"r\xe9sum\xe9-1.pdf", "r\xe9sum\xe9-2.pdf"}) {
    const QString utf8 = pdf("utf8.pdf");
    QFile source(utf8);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray raw = QFile::encodeName(dir.path()) + '/' + name;
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    const QByteArray bytes = source.readAll();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
    QFile::remove(utf8);
  }
  const auto viaGlob = [this](const QString& action) {
    return runProgram(QStringLiteral("bash"), {QStringLiteral("-c"),
                                               QStringLiteral("exec \"$0\" --ulvo-shell-%1 r*.pdf").arg(action),
                                               QStringLiteral(ULVO_BINARY)});
  };
  const QString shown = QStringLiteral("r\uFFFDsum\uFFFD-");
  const ShellRun merged = viaGlob(QStringLiteral("merge"));
  ASSERT_TRUE(merged.finished);
  EXPECT_EQ(merged.exitCode, 0);
  ASSERT_EQ(merged.dialogs.size(), 1) << merged.dialogs.join('\n').toStdString();
  EXPECT_TRUE(merged.dialogs.first().startsWith(QStringLiteral("Операции со страницами |")));
  EXPECT_TRUE(merged.dialogs.first().contains(shown + QStringLiteral("1.pdf / ") + shown + QStringLiteral("2.pdf")))
      << merged.dialogs.first().toStdString();

  const ShellRun signing = viaGlob(QStringLiteral("sign"));
  ASSERT_TRUE(signing.finished);
  EXPECT_EQ(signing.exitCode, 0);
  ASSERT_FALSE(signing.dialogs.isEmpty());
  EXPECT_TRUE(signing.dialogs.first().startsWith(QStringLiteral("Подписание документа |")))
      << signing.dialogs.first().toStdString();
  EXPECT_TRUE(signing.dialogs.first().contains(QStringLiteral("Файл: ") + shown + QStringLiteral("1.pdf")))
      << signing.dialogs.first().toStdString();
  EXPECT_FALSE(signing.dialogs.join('\n').contains(QStringLiteral("файл не найден")));
  // Qt cannot name these files to remove them with the folder.
  for (const char* name : {"r\xe9sum\xe9-1.pdf", "r\xe9sum\xe9-2.pdf"})
    ::unlink((QFile::encodeName(dir.path()) + '/' + name).constData());
}

TEST_F(ShellActions, HtmlNamesStayTextUnderAMemoryCap) {
  // "<img src=/dev/zero>" rendered would read until the cap ends the program.
  const QString zero = pdf("<img src=&#47;dev&#47;zero>.pdf");
  const QString bold = pdf("<b>bold.pdf");
  for (const QString& action : {QStringLiteral("sign"), QStringLiteral("merge")}) {
    SCOPED_TRACE(action.toStdString());
    const ShellRun result = runProgram(QStringLiteral("prlimit"),
                                       {QStringLiteral("--as=3000000000"), QStringLiteral("--"),
                                        QStringLiteral(ULVO_BINARY), QStringLiteral("--ulvo-shell-") + action, zero, bold});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_FALSE(result.dialogs.isEmpty());
    const QString all = result.dialogs.join('\n');
    EXPECT_FALSE(all.contains(QStringLiteral("[rich]"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("<img src=&#47;dev&#47;zero>.pdf"))) << all.toStdString();
  }
}

// The compressed export driven through its dialog on a scanner-like PDF of
// JPEG pages and on pages of a real text manual: every stage writes a valid
// PDF of the same page count close to the forecast shown; size limits that
// can and cannot be met; the result opens in a new tab; closing the dialog
// or ending the program during a fit leaves no worker and no copy behind;
// a locked document's fit and size leave nothing readable on disk.
#include "AppTestSupport.h"
#include "CompressedExportDialog.h"
#include "ExportFileNames.h"
#include "ExportTestSupport.h"
#include "TestSupport.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <thread>
#include <cstdio>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace apptest;
using exporttest::childProcesses;

namespace {

const char kManual[] = "/usr/share/doc/gnuplot/gnuplot.pdf";

struct Fixture {
  QString pdf;
  QString replay;  // a stand-in fit worker printing the real worker's reply for this file
  QJsonObject reply;
  int pages = 0;
};

QLabel* labelStartingWith(QWidget* dialog, const QString& start) {
  for (QLabel* line : dialog->findChildren<QLabel*>())
    if (line->text().startsWith(start)) return line;
  return nullptr;
}

QPushButton* buttonNamed(QWidget* dialog, const QString& text) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

QSlider* stageSlider(QWidget* dialog) {
  for (QSlider* slider : dialog->findChildren<QSlider*>())
    if (slider->maximum() == 5) return slider;
  return nullptr;
}

// "около 1,25 МБ" (Russian writes a decimal comma) -> bytes, -1 when the text has no size.
qint64 forecastIn(const QString& text) {
  static const QRegularExpression size(QStringLiteral("около ([\\d,]+) (Б|КБ|МБ)"));
  const QRegularExpressionMatch match = size.match(text);
  if (!match.hasMatch()) return -1;
  const double unit = match.captured(2) == QStringLiteral("МБ")   ? 1048576.0
                      : match.captured(2) == QStringLiteral("КБ") ? 1024.0
                                                                  : 1.0;
  return qint64(QString(match.captured(1)).replace(u',', u'.').toDouble() * unit);
}

bool qpdfChecks(const QString& pdf) {
  return testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}) == 0;
}

// Answers the export dialog once its fit has ended.
void whenFitEnds(const std::function<void(CompressedExportDialog*)>& act) {
  whenModalOpens([act](QWidget* widget) {
    auto* dialog = qobject_cast<CompressedExportDialog*>(widget);
    if (!dialog || dialog->fitRunning()) return false;
    QPushButton* save = buttonNamed(dialog, QStringLiteral("Сохранить"));
    if (!save || !save->isEnabled()) return false;
    act(dialog);
    return true;
  });
}

void typeOutputPath(CompressedExportDialog* dialog, const QString& path) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"));
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  // QTest types only ASCII; the localized word of a name is pasted.
  bool ascii = true;
  for (QChar c : path) ascii = ascii && c.unicode() < 128;
  if (ascii)
    QTest::keyClicks(edit, path);
  else
    edit->insert(path);
}

// Opens each file made under `root` (in folders made there too) as it
// appears: what was written to it can be read after it was removed.
struct FilesMadeUnder {
  explicit FilesMadeUnder(const QByteArray& root) {
    take(root);
    reader = std::thread([this] {
      alignas(inotify_event) char buffer[65536];
      for (pollfd ends[2] = {{watch, POLLIN, 0}, {stop, POLLIN, 0}}; ::poll(ends, 2, -1) > 0 && ends[0].revents;)
        for (ssize_t at = 0, got = ::read(watch, buffer, sizeof buffer); at < got;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
          if (event->len) take(folders.value(event->wd) + '/' + event->name);
          at += ssize_t(sizeof(inotify_event) + event->len);
        }
    });
  }
  void take(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode))
      held << ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (!S_ISDIR(info.st_mode)) return;
    folders[::inotify_add_watch(watch, path.constData(), IN_CREATE | IN_MOVED_TO)] = path;
    for (const QString& name : QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
      take(path + '/' + QFile::encodeName(name));
  }
  int watch = ::inotify_init1(IN_CLOEXEC), stop = ::eventfd(0, EFD_CLOEXEC);
  QHash<int, QByteArray> folders;
  QList<int> held;
  std::thread reader;
};

// Pages of the text manual extracted by qpdf into the suite's folder; empty on failure.
QString manualPages(const QString& name, const QString& range);

class ExportWindow : public TestWindow {
 public:
  using MainWindow::compressButton;
  using MainWindow::onDeletePageRequested;
};

class CompressedExport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir;
    scanned = new Fixture;
    manual = new Fixture;
    // Five A4 pages scanned at 150 dpi, grainy enough that even the smallest setting stays above 0.1 MB.
    QList<QImage> pages;
    for (int i = 0; i < 5; ++i) pages << exporttest::scannedLookingPage(i, QSize(1240, 1754));
    scanned->pdf = dir->filePath(QStringLiteral("scan.pdf"));
    ASSERT_TRUE(exporttest::writeJpegPagesPdf(scanned->pdf, pages, QSizeF(595, 842)));
    manual->pdf = manualPages(QStringLiteral("manual.pdf"), QStringLiteral("20-23"));
    ASSERT_FALSE(manual->pdf.isEmpty());
    for (Fixture* fixture : {scanned, manual}) {
      fixture->pages = int(testsupport::pdfPageSizes(fixture->pdf).size());
      QByteArray out;
      ASSERT_EQ(
          testsupport::runTool(QStringLiteral(ULVO_BINARY),
                               {QStringLiteral("--ulvo-compression-fit"), fixture->pdf, QStringLiteral("1")}, &out),
          0);
      fixture->reply = QJsonDocument::fromJson(out).object();
      ASSERT_EQ(fixture->reply.value("estimates").toArray().size(), 15);
      const QString saved = fixture->pdf + QStringLiteral(".reply.json");
      QFile replyFile(saved);
      ASSERT_TRUE(replyFile.open(QIODevice::WriteOnly));
      replyFile.write(out);
      fixture->replay = fixture->pdf + QStringLiteral(".replay.sh");
      QFile script(fixture->replay);
      ASSERT_TRUE(script.open(QIODevice::WriteOnly));
      script.write("#!/bin/sh\ncat '" + saved.toUtf8() + "'\n");
      script.close();
      script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
  }
  static void TearDownTestSuite() {
    CompressedExportDialog::setFitProgramForTest(QString());
    delete scanned;
    delete manual;
    delete dir;
  }

  void SetUp() override {
    useCleanSettings();
    window = std::make_unique<ExportWindow>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override {
    window.reset();
    CompressedExportDialog::setFitProgramForTest(QString());
  }

  void clickCompress() {
    ASSERT_NE(window->compressButton, nullptr);
    ASSERT_TRUE(window->compressButton->isEnabled());
    QTest::mouseClick(window->compressButton, Qt::LeftButton);
  }

  static qint64 smallestForecast(const Fixture& fixture) {
    qint64 smallest = -1;
    for (const QJsonValue& row : fixture.reply.value("estimates").toArray()) {
      const qint64 bytes = row.toObject().value("bytes").toString().toLongLong();
      if (smallest < 0 || bytes < smallest) smallest = bytes;
    }
    return smallest;
  }

  // Every stage through the dialog: a valid copy of the same pages, near the forecast shown, opened in a new tab.
  void saveEveryStage(const Fixture& fixture) {
    CompressedExportDialog::setFitProgramForTest(fixture.replay);
    window->openFile(fixture.pdf);
    ASSERT_TRUE(window->currentDocument->isOpen());
    const qint64 original = QFileInfo(fixture.pdf).size();
    for (int stage = 0; stage < 6; ++stage) {
      window->activateDocument(0);
      QString forecastText;
      const QString typed =
          dir->filePath(QStringLiteral("%1-stage%2.pdf").arg(QFileInfo(fixture.pdf).baseName()).arg(stage));
      whenFitEnds([&](CompressedExportDialog* dialog) {
        QSlider* slider = stageSlider(dialog);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        QTest::keyClick(slider, Qt::Key_Home);
        for (int i = 0; i < stage; ++i) QTest::keyClick(slider, Qt::Key_Right);
        QLabel* forecast = labelStartingWith(dialog, QStringLiteral("Прогноз выбранного уровня"));
        forecastText = forecast ? forecast->text() : QString();
        typeOutputPath(dialog, typed);
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
      });
      const size_t tabsBefore = window->documents.size();
      // A copy larger than the original is written only when the user agrees.
      std::shared_ptr<DialogSeen> larger = answerNextDialog(QStringLiteral("Сохранить"), QStringLiteral("Сжатый PDF"));
      clickCompress();
      larger->stopWaiting = true;
      ASSERT_EQ(window->documents.size(), tabsBefore + 1) << "stage " << stage;
      const QString written = window->documents.back().path;
      EXPECT_EQ(window->activeIndex, int(window->documents.size()) - 1);
      EXPECT_TRUE(QFileInfo(written).fileName().startsWith(QFileInfo(typed).baseName() + QLatin1Char('_')));
      EXPECT_TRUE(qpdfChecks(written)) << written.toStdString();
      EXPECT_EQ(testsupport::pdfPageSizes(written).size(), fixture.pages) << "stage " << stage;
      const qint64 size = QFileInfo(written).size();
      const qint64 forecast = forecastIn(forecastText);
      ASSERT_GT(forecast, 0) << forecastText.toStdString();
      EXPECT_LE(std::abs(double(size - forecast)) / double(size), 0.15)
          << "stage " << stage << ": " << size << " written, " << forecast << " forecast";
      // A copy larger than the original is said so before and after saving.
      EXPECT_EQ(forecastText.contains(QStringLiteral("больше исходного файла")), forecast > original) << stage;
      EXPECT_EQ(window->statusLabel->text().contains(QStringLiteral("копия больше исходного файла")), size > original)
          << window->statusLabel->text().toStdString();
      EXPECT_EQ(larger->shown, size > original) << "stage " << stage;
    }
    EXPECT_EQ(QFileInfo(fixture.pdf).size(), original);
  }

  // The real fit under a stored limit; returns the written copy or an empty path.
  QString saveUnderLimit(const Fixture& fixture, double megabytes, QString* message) {
    CompressedExportDialog::setFitProgramForTest(QStringLiteral(ULVO_BINARY));
    QSettings().setValue(QStringLiteral("export/compressedPdf/targetMb"), megabytes);
    window->openFile(fixture.pdf);
    const size_t tabsBefore = window->documents.size();
    whenFitEnds([&](CompressedExportDialog* dialog) {
      // A document with text keeps its objects until the user asks for a fit.
      if (labelStartingWith(dialog, QStringLiteral("В документе есть текст")))
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Подобрать")), Qt::LeftButton);
      QLabel* estimate = labelStartingWith(dialog, QStringLiteral("Подобрано под лимит"));
      if (!estimate) estimate = labelStartingWith(dialog, QStringLiteral("Даже самый жёсткий режим"));
      *message = estimate ? estimate->text() : QString();
      QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
    });
    std::shared_ptr<DialogSeen> larger = answerNextDialog(QStringLiteral("Сохранить"), QStringLiteral("Сжатый PDF"));
    clickCompress();
    larger->stopWaiting = true;
    if (window->documents.size() != tabsBefore + 1) return {};
    return window->documents.back().path;
  }

  static QTemporaryDir* dir;
  static Fixture* scanned;

 public:
  static QString folder(const QString& name) { return dir->filePath(name); }

 protected:
  static Fixture* manual;
  std::unique_ptr<ExportWindow> window;
};

QTemporaryDir* CompressedExport::dir = nullptr;

QString manualPages(const QString& name, const QString& range) {
  const QString out = CompressedExport::folder(name);
  return testsupport::runTool(QStringLiteral("qpdf"),
                              {QStringLiteral("--empty"), QStringLiteral("--pages"), QString::fromLatin1(kManual),
                               range, QStringLiteral("--"), out}) == 0
             ? out
             : QString();
}
Fixture* CompressedExport::scanned = nullptr;
Fixture* CompressedExport::manual = nullptr;

}  // namespace

TEST_F(CompressedExport, EveryStageOfAScannedDocumentSavesCloseToItsForecast) { saveEveryStage(*scanned); }

TEST_F(CompressedExport, EveryStageOfATextManualSavesCloseToItsForecast) { saveEveryStage(*manual); }

TEST_F(CompressedExport, AMeetableLimitGivesAFileWithinIt) {
  // Between the forecasts of the table, so that some rows fit and some do not.
  const QJsonArray rows = manual->reply.value("estimates").toArray();
  const qint64 middle = rows.at(7).toObject().value("bytes").toString().toLongLong();
  const double megabytes = std::ceil(double(middle) / 104857.6) / 10.0;
  QString message;
  const QString written = saveUnderLimit(*manual, megabytes, &message);
  ASSERT_FALSE(written.isEmpty());
  EXPECT_TRUE(message.startsWith(QStringLiteral("Подобрано под лимит %1 МБ").arg(QString::number(megabytes, 'f', 1).replace(u'.', u','))))
      << message.toStdString();
  EXPECT_TRUE(qpdfChecks(written));
  EXPECT_LE(QFileInfo(written).size(), qint64(megabytes * 1048576));
  EXPECT_DOUBLE_EQ(QSettings().value(QStringLiteral("export/compressedPdf/targetMb")).toDouble(), megabytes);
}

TEST_F(CompressedExport, AnUnmeetableLimitGivesTheSmallestRowAndSaysSo) {
  const qint64 smallest = smallestForecast(*scanned);
  ASSERT_GT(smallest, 104858);
  QString message;
  const QString written = saveUnderLimit(*scanned, 0.1, &message);
  ASSERT_FALSE(written.isEmpty());
  EXPECT_TRUE(message.startsWith(QStringLiteral("Даже самый жёсткий режим не укладывается в 0,1 МБ.")))
      << message.toStdString();
  EXPECT_TRUE(qpdfChecks(written));
  EXPECT_EQ(testsupport::pdfPageSizes(written).size(), scanned->pages);
  EXPECT_LE(std::abs(double(QFileInfo(written).size() - smallest)) / double(smallest), 0.15);
}

TEST_F(CompressedExport, ClosingTheDialogMidFitLeavesNoWorkerAndNoCopy) {
  // A long manual keeps every estimate worker rendering for seconds.
  const QString longManual = manualPages(QStringLiteral("long.pdf"), QStringLiteral("1-120"));
  ASSERT_FALSE(longManual.isEmpty());
  CompressedExportDialog::setFitProgramForTest(QStringLiteral(ULVO_BINARY));
  window->openFile(longManual);
  QList<qint64> workers;
  QString copy;
  mode_t folderMode = 0;
  whenModalOpens([&](QWidget* widget) {
    auto* dialog = qobject_cast<CompressedExportDialog*>(widget);
    if (!dialog) return false;
    QList<qint64> seen;
    for (const exporttest::ChildProcess& fit : childProcesses(::getpid())) {
      if (!fit.arguments.contains(QStringLiteral("--ulvo-compression-fit"))) continue;
      seen << fit.pid;
      copy = fit.arguments.value(2);
      for (const exporttest::ChildProcess& estimate : childProcesses(fit.pid)) seen << estimate.pid;
    }
    if (seen.size() < 2) return false;  // the fit and at least one estimate worker
    workers = seen;
    struct stat info {};
    if (::stat(QFile::encodeName(QFileInfo(copy).absolutePath()).constData(), &info) == 0)
      folderMode = info.st_mode & 0777;
    dialog->close();
    return true;
  });
  clickCompress();
  ASSERT_GE(workers.size(), 2);
  EXPECT_TRUE(exporttest::waitAllGone(workers, 3000));
  EXPECT_EQ(folderMode, mode_t(0700));
  EXPECT_NE(QFileInfo(copy).absolutePath(), QDir::tempPath());
  EXPECT_FALSE(QFileInfo::exists(copy));
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(copy).absolutePath()));
  EXPECT_EQ(window->documents.size(), size_t(1));
}

TEST_F(CompressedExport, EndingTheProgramMidFitEndsTheFitAndItsWorkers) {
  const QString longManual = manualPages(QStringLiteral("long-shell.pdf"), QStringLiteral("1-120"));
  ASSERT_FALSE(longManual.isEmpty());
  QTemporaryDir home;
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(ULVO_BINARY), {QStringLiteral("--ulvo-shell-compress"), longManual});
  ASSERT_TRUE(program.waitForStarted());
  QList<qint64> workers;
  QString copy;
  QElapsedTimer timer;
  timer.start();
  while (workers.size() < 2 && timer.elapsed() < 30000 && !program.waitForFinished(20)) {
    workers.clear();
    for (const exporttest::ChildProcess& fit : childProcesses(program.processId())) {
      if (!fit.arguments.contains(QStringLiteral("--ulvo-compression-fit"))) continue;
      workers << fit.pid;
      copy = fit.arguments.value(2);
      for (const exporttest::ChildProcess& estimate : childProcesses(fit.pid)) workers << estimate.pid;
    }
  }
  ASSERT_GE(workers.size(), 2) << "the shell action started no fit";
  ::kill(pid_t(program.processId()), SIGKILL);
  program.waitForFinished();
  const bool gone = exporttest::waitAllGone(workers, 3000);
  EXPECT_TRUE(gone);
  for (qint64 pid : workers)
    if (!exporttest::goneOrZombie(pid)) ::kill(pid_t(pid), SIGKILL);
  // A killed program cannot clean up; the folder is private and its name unpredictable.
  if (!copy.isEmpty()) QDir(QFileInfo(copy).absolutePath()).removeRecursively();
}

TEST_F(CompressedExport, AFitThatFailsSaysWhyAndGivesTheControlsBack) {
  window->openFile(manual->pdf);
  const struct {
    QString program;
    QString text;
  } cases[] = {
      {QStringLiteral("/bin/false"), QStringLiteral("Не удалось подобрать настройки: процесс подбора завершился с ошибкой")},
      {dir->filePath(QStringLiteral("no-such-program")), QStringLiteral("Не удалось запустить процесс подбора.")},
  };
  for (const auto& c : cases) {
    CompressedExportDialog::setFitProgramForTest(c.program);
    QString shown;
    whenFitEnds([&](CompressedExportDialog* dialog) {
      QLabel* estimate = labelStartingWith(dialog, QStringLiteral("Не удалось"));
      shown = estimate ? estimate->text() : QString();
      EXPECT_TRUE(dialog->cachedEstimates().isEmpty());
      QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Отмена")), Qt::LeftButton);
    });
    clickCompress();
    EXPECT_EQ(shown, c.text);
  }
  EXPECT_EQ(window->documents.size(), size_t(1));
}

TEST_F(CompressedExport, AResultPathOfAnOpenTabIsRefused) {
  CompressedExportDialog::setFitProgramForTest(manual->replay);
  // A copy whose name already carries the kind's word: the result path is then exactly it.
  const QString open = withLocalizedPdfSuffix(dir->filePath(QStringLiteral("opened.pdf")), QStringLiteral("compressed"));
  ASSERT_TRUE(QFile::copy(manual->pdf, open));
  window->openFile(manual->pdf);
  window->openFile(open);
  window->activateDocument(0);
  const QByteArray before = [&] {
    QFile file(open);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  whenFitEnds([&](CompressedExportDialog* dialog) {
    typeOutputPath(dialog, open);
    QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
  });
  auto seen = answerNextDialog(QStringLiteral("OK"), QStringLiteral("Сжатый PDF"));
  clickCompress();
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("открыт во вкладке"))) << seen->texts.toStdString();
  QFile file(open);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
  EXPECT_EQ(window->documents.size(), size_t(2));
}

TEST_F(CompressedExport, ATextManualStartsOnKeepingItsObjectsWhichKeepsItsTextAndIsNotLarger) {
  if (!QFileInfo::exists(QString::fromLatin1(kManual))) GTEST_SKIP() << "gnuplot manual not installed";
  CompressedExportDialog::setFitProgramForTest(manual->replay);
  window->openFile(QString::fromLatin1(kManual));
  ASSERT_TRUE(window->currentDocument->isOpen());
  const QString typed = dir->filePath(QStringLiteral("manual-default.pdf"));
  QString header;
  QString estimate;
  whenFitEnds([&](CompressedExportDialog* dialog) {
    QLabel* title = labelStartingWith(dialog, QStringLiteral("Сохранение текста"));
    header = title ? title->text() : QString();
    QLabel* line = labelStartingWith(dialog, QStringLiteral("В документе есть текст"));
    estimate = line ? line->text() : QString();
    typeOutputPath(dialog, typed);
    QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Сохранить")), Qt::LeftButton);
  });
  std::shared_ptr<DialogSeen> larger = answerNextDialog(QStringLiteral("Не сохранять"), QStringLiteral("Сжатый PDF"));
  clickCompress();
  larger->stopWaiting = true;
  EXPECT_EQ(header, QStringLiteral("Сохранение текста и структуры"));
  EXPECT_FALSE(estimate.isEmpty());
  EXPECT_FALSE(larger->shown) << larger->texts.toStdString();
  ASSERT_EQ(window->documents.size(), 2u);
  const QString written = window->documents.back().path;
  EXPECT_TRUE(qpdfChecks(written));
  const qint64 original = QFileInfo(QString::fromLatin1(kManual)).size();
  const qint64 size = QFileInfo(written).size();
  EXPECT_LE(size, original);
  std::printf("gnuplot manual: %lld bytes, default compressed copy %lld bytes\n", static_cast<long long>(original),
              static_cast<long long>(size));
  QByteArray before;
  QByteArray after;
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdftotext"), {QString::fromLatin1(kManual), QStringLiteral("-")}, &before), 0);
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdftotext"), {written, QStringLiteral("-")}, &after), 0);
  EXPECT_GT(before.size(), 100000);
  EXPECT_TRUE(before == after) << "the text layer changed";
}

// In English and German the fit names its level in that language; with its fine
// settings open the dialog, in Russian too, lies wholly on its screen and
// names the size of what is exported, which the forecast of keeping the
// objects measures as well.
TEST_F(CompressedExport, FitSpeaksTheLanguageFitsTheScreenAndMeasuresWhatIsExported) {
  CompressedExportDialog::setFitProgramForTest(scanned->replay);
  window->openFile(scanned->pdf);
  for (int i = 0; i < 3; ++i) window->onDeletePageRequested(0);
  const QString asShown = dir->filePath(QStringLiteral("as-shown.pdf"));
  ASSERT_TRUE(window->currentDocument->saveCopy(asShown));
  const qint64 asShownSize = QFileInfo(asShown).size();
  for (const QString code : {"ru", "en", "de"}) {
    applyUiLanguage(code);
    qint64 forecast = -1;
    whenModalOpens([&](QWidget* widget) {
      auto* dialog = qobject_cast<CompressedExportDialog*>(widget);
      if (!dialog || dialog->fitRunning() || dialog->cachedEstimates().isEmpty()) return false;
      QTest::mouseClick(dialog->findChild<QToolButton*>(QStringLiteral("ScanRefreshButton")), Qt::LeftButton);
      QTest::qWait(50);
      QStringList shown;
      for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->isVisible()) shown << label->text();
      if (code != QLatin1String("ru")) {
        EXPECT_FALSE(shown.join(u'\n').contains(QRegularExpression(QStringLiteral("[А-я]")))) << shown.join(u'\n').toStdString();
      }
      EXPECT_TRUE(shown.join(u'\n').contains(uiTranslate(QStringLiteral("Исходный размер: %1")).arg(formatFileSize(asShownSize))));
      const QRect screen = dialog->screen()->availableGeometry();
      EXPECT_TRUE(screen.contains(dialog->frameGeometry()))
          << code.toStdString() << ": " << dialog->frameGeometry().y() << " + " << dialog->frameGeometry().height()
          << " on " << screen.height();
      if (code == QLatin1String("ru")) {
        // Rasterised pages are forecast by drawing them, never by the document's own size.
        const PdfDocument::CompressionOptions raster = dialog->currentOptions();
        EXPECT_TRUE(raster.rasterizePages);
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Оценить размер")), Qt::LeftButton);
        QLabel* rasterised = labelStartingWith(dialog, QStringLiteral("Прогноз текущих настроек"));
        const qint64 drawn = window->currentDocument->estimateCompressedSize(raster, nullptr);
        EXPECT_NEAR(double(rasterised ? forecastIn(rasterised->text()) : -1), double(drawn), drawn * 0.05);
        for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
          if (box->text().startsWith(QStringLiteral("Сжимать как изображение")) && box->isChecked())
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Оценить размер")), Qt::LeftButton);
        QLabel* estimate = labelStartingWith(dialog, QStringLiteral("Прогноз текущих настроек"));
        forecast = estimate ? forecastIn(estimate->text()) : -1;
      }
      dialog->reject();
      return true;
    });
    clickCompress();
    // Keeping the objects is forecast by the document as it stands, not by its older file on disk.
    if (code == QLatin1String("ru")) {
      EXPECT_NEAR(double(forecast), double(asShownSize), asShownSize * 0.05);
    }
  }
  applyUiLanguage(QStringLiteral("ru"));
}

// A changed locked document is measured and fitted from memory: no file made
// under the temporary folder, even for a moment, holds its text.
TEST_F(CompressedExport, ALockedDocumentsFitLeavesNothingReadableOnDisk) {
  const QString locked = dir->filePath(QStringLiteral("locked.pdf"));
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "user-pw", "owner-pw", "256", "--", manual->pdf, locked}), 0);
  whenModalOpens<QDialog>([](QDialog* form) {
    QTest::keyClicks(form->findChild<QLineEdit*>(), QStringLiteral("user-pw"));
    buttonNamed(form, QStringLiteral("Открыть"))->click();
  });
  window->openFile(locked);
  window->currentDocument->markModified();
  QByteArray text;
  testsupport::runTool(QStringLiteral("pdftotext"), {"-upw", "user-pw", locked, "-"}, &text);
  ASSERT_EQ((text = text.simplified().left(40)).size(), 40);
  QTemporaryDir temp;
  const QByteArray before = qgetenv("TMPDIR");
  qputenv("TMPDIR", QFile::encodeName(temp.path()));
  FilesMadeUnder made(QFile::encodeName(temp.path()));
  CompressedExportDialog::setFitProgramForTest(QStringLiteral(ULVO_BINARY));
  qsizetype estimates = 0;  // the workers could read the copy
  whenModalOpens([&estimates](QWidget* widget) {
    auto* dialog = qobject_cast<CompressedExportDialog*>(widget);
    if (!dialog || dialog->fitRunning() || !(dialog->cachedEstimates().size() || labelStartingWith(dialog, "Не удалось")))
      return false;
    estimates = dialog->cachedEstimates().size();
    dialog->reject();
    return true;
  });
  clickCompress();
  qputenv("TMPDIR", before);
  EXPECT_EQ(estimates, 15);
  ::eventfd_write(made.stop, 1);
  made.reader.join();
  for (int fd : made.held) {
    QFile file(dir->filePath(QStringLiteral("seen.pdf"))), seen;
    if (fd < 0 || !seen.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) continue;  // gone before seen
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(seen.readAll());
    file.close();
    QByteArray read;
    testsupport::runTool(QStringLiteral("pdftotext"), {file.fileName(), QStringLiteral("-")}, &read);
    EXPECT_FALSE(read.simplified().contains(text));
  }
}

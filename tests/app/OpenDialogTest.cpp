// The open dialog: recent files (missing ones hidden, not forgotten), a
// folder's PDFs, clearing the list, and opening by double click.
#include "RecentFiles.h"
#include "ShownWindowFixture.h"
#include "TestSupport.h"
#include "core/ForeignFileNames.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>
#include <utility>

using namespace apptest;

namespace {

class OpenDialog : public ShownWindowTest {
 protected:
  QString pdf(const QString& relative) {
    const QString path = dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    EXPECT_TRUE(testsupport::writePdf(path, {{QStringLiteral("Open me"), false, {595, 842}}}));
    return path;
  }

  QDialog* openDialog() {
    window->showOpenPdfDialog();
    QDialog* found = nullptr;
    for (QDialog* dialog : window->findChildren<QDialog*>())
      if (dialog->windowTitle() == QStringLiteral("Открыть PDF") && dialog->isVisible()) found = dialog;
    return found;
  }

  static QStringList rows(QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) texts << list->item(row)->text();
    return texts;
  }

};

TEST_F(OpenDialog, RecentFilesFolderAndClearing) {
  const QString kept = pdf(QStringLiteral("kept.pdf"));
  const QString gone = dir.filePath(QStringLiteral("gone.pdf"));
  QSettings().setValue(QStringLiteral("recentFiles"), QStringList{gone, kept});
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  auto* list = dialog->findChild<QListWidget*>(QStringLiteral("RecentFilesList"));
  EXPECT_EQ(rows(list), QStringList{QStringLiteral("kept.pdf    %1").arg(dir.path())});
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(QSettings().value(QStringLiteral("recentFiles")).toStringList().size(), 2);

  // A folder's PDFs, by name; the settings are not touched.
  pdf(QStringLiteral("folder/b.pdf"));
  pdf(QStringLiteral("folder/a.pdf"));
  QFile(dir.filePath(QStringLiteral("folder/notes.txt"))).open(QIODevice::WriteOnly);
  whenModalOpens<QFileDialog>([this](QFileDialog* chooser) {
    chooser->setDirectory(dir.filePath(QStringLiteral("folder")));
    chooser->selectFile(dir.filePath(QStringLiteral("folder")));
    QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
  });
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Открыть папку")), Qt::LeftButton);
  const QString folder = dir.filePath(QStringLiteral("folder"));
  EXPECT_EQ(rows(list), (QStringList{QStringLiteral("a.pdf    %1").arg(folder), QStringLiteral("b.pdf    %1").arg(folder)}));

  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Очистить список")), Qt::LeftButton);
  EXPECT_EQ(rows(list), QStringList{QStringLiteral("Недавних файлов пока нет")});
  EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsEnabled);
  EXPECT_FALSE(QSettings().contains(QStringLiteral("recentFiles")));
  // The placeholder opens nothing.
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Открыть")), Qt::LeftButton);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(window->documents.empty());
}

TEST_F(OpenDialog, DoubleClickOpensTheFileAndItBecomesRecent) {
  const QString first = pdf(QStringLiteral("first.pdf"));
  QSettings().setValue(QStringLiteral("recentFiles"), QStringList{first});
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  QPointer<QDialog> alive(dialog);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  auto* list = dialog->findChild<QListWidget*>(QStringLiteral("RecentFilesList"));
  const QRect row = list->visualItemRect(list->item(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
  QApplication::processEvents();
  EXPECT_TRUE(!alive || !alive->isVisible());
  ASSERT_EQ(window->documents.size(), 1u);
  EXPECT_EQ(window->currentDocument->filePath(), first);

  // Switched off in the settings: the list says so and cannot be cleared.
  QSettings().setValue(QStringLiteral("doc/rememberRecent"), false);
  QDialog* second = openDialog();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(rows(second->findChild<QListWidget*>(QStringLiteral("RecentFilesList"))),
            QStringList{QStringLiteral("Недавние файлы отключены в настройках")});
  EXPECT_FALSE(buttonIn(second, QStringLiteral("Очистить список"))->isEnabled());
}

}  // namespace

// Files whose names are not UTF-8 (two that read the same once decoded):
// each opens its own tab and one of them opened again finds its tab. What
// the recent list and the next start's "restore last document" keep is the
// real file: a link of this run recreated to lead elsewhere, as another
// user of the temporary folder could, opens nothing of theirs.
TEST_F(OpenDialog, UnreadableNamesOpenTheirOwnFilesAndAreRememberedAsTheRealFile) {
  const QByteArray folder = QFile::encodeName(dir.path());
  const QByteArray firstRaw = folder + "/Akt \xff.pdf";
  const QByteArray secondRaw = folder + "/Akt \xfe.pdf";
  const QString scratch = dir.filePath(QStringLiteral("scratch.pdf"));
  for (const auto& [raw, text] : {std::pair{firstRaw, "First file"}, std::pair{secondRaw, "Second file"}}) {
    ASSERT_TRUE(testsupport::writePdf(scratch, {{QString::fromLatin1(text), false, {595, 842}}}));
    ASSERT_EQ(::rename(QFile::encodeName(scratch).constData(), raw.constData()), 0);
  }
  const QString first = openablePathForArgument(firstRaw);
  const QString second = openablePathForArgument(secondRaw);
  ASSERT_EQ(QFileInfo(first).fileName(), QFileInfo(second).fileName());  // the same text

  window->openFile(first);
  window->openFile(second);
  ASSERT_EQ(window->documents.size(), 2u);
  EXPECT_TRUE(window->currentDocument->extractAllText(0).contains(QStringLiteral("Second file")));
  window->openFile(openablePathForArgument(firstRaw));  // the first name again
  EXPECT_EQ(window->documents.size(), 2u);
  EXPECT_EQ(window->activeIndex, 0);
  EXPECT_TRUE(window->currentDocument->extractAllText(0).contains(QStringLiteral("First file")));

  // The stored list names no link of the temporary folder.
  const QStringList stored = QSettings().value(QStringLiteral("recentFiles")).toStringList();
  ASSERT_EQ(stored.size(), 2);
  for (const QString& entry : stored)
    EXPECT_FALSE(entry.contains(QLatin1String(kForeignNameFolderPrefix))) << entry.toStdString();
  ASSERT_EQ(recentFilePaths().size(), 2);
  EXPECT_EQ(folderBeside(recentFilePaths().first()), dir.path());

  // Someone recreates the first file's link to lead to their own file.
  const QString theirs = dir.filePath(QStringLiteral("theirs.pdf"));
  ASSERT_TRUE(testsupport::writePdf(theirs, {{QStringLiteral("Their file"), false, {595, 842}}}));
  ASSERT_TRUE(QFile::remove(first));
  ASSERT_TRUE(QFile::link(theirs, first));
  window.reset();
  QSettings().setValue(QStringLiteral("doc/restoreLastDocument"), true);
  QSettings().setValue(QStringLiteral("recentFiles"), QStringList{stored.at(1), stored.at(0)});  // the first file last used
  window = std::make_unique<RibbonWindow>();
  window->show();
  ASSERT_TRUE(QTest::qWaitFor([this] { return window->currentDocument->isOpen(); }, 5000));
  EXPECT_TRUE(window->currentDocument->extractAllText(0).contains(QStringLiteral("First file")));
  EXPECT_FALSE(window->currentDocument->extractAllText(0).contains(QStringLiteral("Their file")));
  EXPECT_EQ(folderBeside(window->currentDocument->filePath()), dir.path());
  ::unlink(firstRaw.constData());
  ::unlink(secondRaw.constData());
}

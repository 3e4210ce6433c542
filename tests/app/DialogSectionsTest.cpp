// The recent-files list and the update message.
#include "AppTestSupport.h"
#include "DialogSections.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace apptest;

TEST(DialogSectionsTest, RecentListShowsExistingFilesApartByFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("one") && QDir(dir.path()).mkpath("two"));
  const QString first = dir.filePath("one/report.pdf");
  const QString second = dir.filePath("two/report.pdf");
  for (const QString& path : {first, second}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  struct Case {
    const char* name;
    QList<QString> paths;
    QStringList data;  // item data of the rows; empty: the one disabled line
  };
  const std::vector<Case> cases = {
      {"two of the same name", {first, dir.filePath("gone.pdf"), second}, {first, second}},
      {"all deleted", {dir.filePath("gone.pdf"), QString()}, {}},
  };
  QListWidget list;
  list.addItem("stale");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fillRecentFilesList(&list, c.paths);
    if (c.data.isEmpty()) {
      ASSERT_EQ(list.count(), 1);
      EXPECT_EQ(list.item(0)->text(), "Недавних файлов пока нет");
      EXPECT_FALSE(list.item(0)->flags() & Qt::ItemIsEnabled);
      continue;
    }
    ASSERT_EQ(list.count(), c.data.size());
    for (int i = 0; i < list.count(); ++i) {
      EXPECT_EQ(list.item(i)->data(Qt::UserRole).toString(), QFileInfo(c.data[i]).absoluteFilePath());
      EXPECT_EQ(list.item(i)->text(),
                "report.pdf    " + QDir::toNativeSeparators(QFileInfo(c.data[i]).absolutePath()));
    }
    EXPECT_EQ(list.currentRow(), 0);
  }
}

TEST(DialogSectionsTest, UpdateMessageOffersTheLinkOnlyWithAUrl) {
  useCleanSettings();
  TestWindow window(AppProduct::Viewer);
  for (const QString& url : {QString(), QStringLiteral("https://example.invalid/ulvo.deb")}) {
    window.showUpdateMessage("Обновление", "Доступна версия 2.0", url);
    QDialog* message = nullptr;
    for (QDialog* dialog : window.findChildren<QDialog*>())
      if (dialog->isVisible() && dialog->windowTitle() == "Обновление") message = dialog;
    ASSERT_NE(message, nullptr);
    EXPECT_FALSE(message->isModal());
    QStringList buttons;
    for (QPushButton* button : message->findChildren<QPushButton*>()) buttons << button->text();
    EXPECT_EQ(buttons, url.isEmpty() ? QStringList({"Закрыть"}) : QStringList({"Открыть ссылку", "Закрыть"}));
    message->findChildren<QPushButton*>().constLast()->click();
    QTest::qWait(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QDialog* dialog : window.findChildren<QDialog*>()) EXPECT_NE(dialog->windowTitle(), "Обновление");
  }
}

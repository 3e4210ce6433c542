// The facsimile store under hostile contents: a pipe named in a group file
// is never opened (a watcher would see any reader), a link planted in the
// store is refused when saving and the file behind it stays as it was, and a
// very long name is cut to what a file name can hold.
#include "signature/Facsimiles.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void savePicture(const QString& path) {
  QImage picture(30, 10, QImage::Format_ARGB32);
  picture.fill(Qt::blue);
  ASSERT_TRUE(picture.save(path, "PNG"));
}

// Notes whether anyone opens the pipe for reading while it runs: a writer's
// non-blocking open succeeds only when a reader is there.
class PipeWatch {
 public:
  explicit PipeWatch(const QByteArray& path)
      : thread([this, path] {
          while (!stop) {
            const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
              readerSeen = true;
              ::close(fd);  // the reader gets its end of file
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~PipeWatch() {
    stop = true;
    thread.join();
  }
  std::atomic<bool> stop{false};
  std::atomic<bool> readerSeen{false};
  std::thread thread;
};

}  // namespace

TEST(FacsimileStoreSafety, PipeNamedInAGroupIsNeverOpened) {
  QTemporaryDir store;
  savePicture(store.filePath(QStringLiteral("a.png")));
  savePicture(store.filePath(QStringLiteral("b.png")));
  const QString pipe = store.filePath(QStringLiteral("pipe.png"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  ASSERT_TRUE(QDir(store.path()).mkpath(QStringLiteral("groups")));
  const QJsonObject group{{"name", "hostile"}, {"items", QJsonArray{"a.png", "pipe.png", pipe, "b.png"}}};
  QFile groupFile(store.filePath(QStringLiteral("groups/hostile.json")));
  ASSERT_TRUE(groupFile.open(QIODevice::WriteOnly));
  groupFile.write(QJsonDocument(group).toJson());
  groupFile.close();
  // A group file that is itself a pipe.
  ASSERT_EQ(::mkfifo(QFile::encodeName(store.filePath(QStringLiteral("groups/pipe.json"))).constData(), 0600), 0);

  PipeWatch watch(QFile::encodeName(pipe));
  const QStringList files = listFacsimileFiles(store.path());
  EXPECT_EQ(files, (QStringList{"a.png", "b.png"}));
  QDialog* picker = buildFacsimilePickerDialog(store.path(), files, nullptr, true, true, true, false);
  auto* list = qobject_cast<QListWidget*>(picker->property("listWidget").value<QObject*>());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(2)->text(), QStringLiteral("Группа\nhostile (2)"));
  list->clearSelection();
  list->item(2)->setSelected(true);
  EXPECT_EQ(selectedFacsimileImageItems(list, store.path()), (QStringList{"a.png", "b.png"}));
  EXPECT_TRUE(readFacsimileImage(pipe).isNull());
  EXPECT_FALSE(isFacsimileFile(pipe));
  delete picker;
  EXPECT_FALSE(watch.readerSeen);
}

TEST(FacsimileStoreSafety, SavingThroughAPlantedLinkIsRefused) {
  QTemporaryDir store;
  QTemporaryDir elsewhere;
  const QString victim = elsewhere.filePath(QStringLiteral("bashrc"));
  QFile file(victim);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("export PATH=/usr/bin\n");
  file.close();
  const QString planted = store.filePath(QStringLiteral("подпись.png"));
  ASSERT_TRUE(QFile::link(victim, planted));
  QImage picture(40, 20, QImage::Format_ARGB32);
  picture.fill(Qt::red);
  QString error;
  EXPECT_FALSE(writeFacsimilePng(planted, picture, &error));
  EXPECT_FALSE(error.isEmpty());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("export PATH=/usr/bin\n"));
  EXPECT_TRUE(QFileInfo(planted).isSymLink());
  // An ordinary name in the same store still saves.
  EXPECT_TRUE(writeFacsimilePng(store.filePath(QStringLiteral("печать.png")), picture, &error)) << error.toStdString();
  EXPECT_FALSE(readFacsimileImage(store.filePath(QStringLiteral("печать.png"))).isNull());
}

// A picture longer than the editor opens (20,000 pixels a side) would sit
// in the list and never open: it is refused with the reason, and no file is left.
TEST(FacsimileStoreSafety, PictureTheEditorCannotOpenIsNotStored) {
  QTemporaryDir store;
  QImage strip(24000, 4, QImage::Format_ARGB32);
  strip.fill(Qt::black);
  QString error;
  EXPECT_FALSE(writeFacsimilePng(store.filePath(QStringLiteral("полоса.png")), strip, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("слишком большое для редактора: 24000 × 4"))) << error.toStdString();
  EXPECT_TRUE(QDir(store.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(FacsimileStoreSafety, VeryLongNamesAreCutToAFileName) {
  const struct {
    QString name;
    QString cleaned;
  } cases[] = {
      {QString(40000, QLatin1Char('a')), QString(200, QLatin1Char('a'))},
      {QString(40000, QChar(0x044F)), QString(100, QChar(0x044F))},  // "я": two bytes each
      {QString(40000, QLatin1Char('/')) + QStringLiteral("x"), QStringLiteral("_")},
      {QStringLiteral("  ") + QString(20000, QLatin1Char('.')), QString(200, QLatin1Char('_'))},
  };
  for (const auto& c : cases) {
    const QString cleaned = normalizeFacsimileName(c.name);
    EXPECT_EQ(cleaned, c.cleaned) << c.name.left(20).toStdString();
    EXPECT_LE(cleaned.toUtf8().size(), 200);
    EXPECT_EQ(normalizeFacsimileName(cleaned), cleaned);
  }
}

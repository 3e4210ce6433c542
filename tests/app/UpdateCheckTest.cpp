// The update check against a loopback HTTP server: each answer of the
// server gives its dialog; manifest reading and version order as plain
// functions; only web addresses are offered to the browser.
#include "AppTestSupport.h"
#include "UpdateCheck.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace apptest;

namespace {

// Answers every request with one canned HTTP response; an empty response
// leaves the connection open without a word.
class LoopbackServer {
 public:
  LoopbackServer() {
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          const QByteArray request = socket->readAll();
          requests << QString::fromLatin1(request.left(request.indexOf("\r\n")));
          if (response.isEmpty()) return;
          socket->write(response);
          socket->disconnectFromHost();
        });
      }
    });
  }
  QString url(const char* path = "/updates/latest.json") const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(QLatin1String(path));
  }
  void answer(int status, const QByteArray& body) {
    response = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Internal Server Error") +
               "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
  }
  void stayMute() { response.clear(); }

  QTcpServer server;
  QByteArray response;
  QStringList requests;
};

QByteArray manifest(const QString& version, const QString& url = QStringLiteral("https://example.com/ulvo_1.0.10.deb"),
                    const char* platform = "linux-amd64-deb") {
  return QStringLiteral(R"({"channel": "stable", "products": {"ulvo-pdf-editor": {"latestVersion": "9.9",
      "channels": {"stable": {"platforms": {"%1": {"version": "%2", "url": "%3", "type": "deb",
      "sha256": "ab12", "size": 1536}}}}}}})")
      .arg(QLatin1String(platform), version, url)
      .toUtf8();
}

struct Shown {
  QString title;
  QString text;
  QStringList buttons;
  bool plainText = false;
};

// Starts a check and waits for its dialog.
Shown check(TestWindow& window) {
  const QList<QDialog*> before = window.findChildren<QDialog*>();
  window.checkForUpdates();
  QDialog* dialog = nullptr;
  // Generous: the whole suite may run beside it.
  for (int i = 0; i < 3000 && !dialog; ++i) {
    QTest::qWait(10);
    for (QDialog* d : window.findChildren<QDialog*>())
      if (!before.contains(d) && d->isVisible()) dialog = d;
  }
  if (!dialog) return {};
  const QLabel* body = dialog->findChild<QLabel*>("DialogSubtitle");
  Shown shown{dialog->windowTitle(), body->text(), {}, body->textFormat() == Qt::PlainText};
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) shown.buttons << button->text();
  dialog->close();
  return shown;
}

struct EnvironmentScope {
  EnvironmentScope(const char* name, const QByteArray& value) : name(name) { qputenv(name, value); }
  ~EnvironmentScope() { qunsetenv(name); }
  const char* name;
};

}  // namespace

TEST(UpdateCheck, EachServerAnswerGivesItsDialog) {
  useCleanSettings();
  QCoreApplication::setApplicationVersion("1.0.6");
  LoopbackServer server;
  const QString url = server.url();
  EnvironmentScope address("ULVO_UPDATE_URL", "  " + url.toUtf8() + " ");
  TestWindow window;
  const QStringList closeOnly = {"Закрыть"};
  const QStringList withLink = {"Открыть ссылку", "Закрыть"};

  server.answer(200, manifest("1.0.10"));
  Shown shown = check(window);
  EXPECT_EQ(shown.title, "Доступно обновление");
  EXPECT_EQ(shown.text, "Продукт: УЛВО PDF Редактор\nТекущая версия: 1.0.6\nДоступная версия: 1.0.10\n"
                        "Пакет: linux-amd64-deb · deb\nРазмер: 1,5 КБ\nSHA-256: ab12");
  EXPECT_EQ(shown.buttons, withLink);
  EXPECT_EQ(window.statusLabel->text(), "Доступно обновление 1.0.10");
  ASSERT_FALSE(server.requests.isEmpty());
  EXPECT_EQ(server.requests.last(), "GET /updates/latest.json HTTP/1.1");

  for (const char* version : {"1.0.6", "1.0.2"}) {
    server.answer(200, manifest(version));
    shown = check(window);
    EXPECT_EQ(shown.title, "Обновлений нет") << version;
    EXPECT_EQ(shown.text, "Установлена актуальная версия 1.0.6.\nПроверенный канал: stable\n"
                          "Пакет платформы: linux-amd64-deb · deb");
    EXPECT_EQ(shown.buttons, closeOnly);
    EXPECT_EQ(window.statusLabel->text(), "Установлена актуальная версия");
  }

  server.answer(200, manifest("2.0", "https://example.com/x", "windows-x64"));
  shown = check(window);
  EXPECT_EQ(shown.title, "Проверка обновлений");
  EXPECT_EQ(shown.text, "Для этой платформы пока нет пакета обновления.\nТекущая версия: 1.0.6\nURL: " + url);
  EXPECT_EQ(shown.buttons, closeOnly);

  server.answer(200, R"({"products": {"ulvo-pdf-viewer": {}}})");
  shown = check(window);
  EXPECT_EQ(shown.text, "В сведениях об обновлениях нет данных для продукта УЛВО PDF Редактор.\nURL: " + url);

  for (const QByteArray& body : {QByteArray("{\"products\": "), QByteArray("[1, 2, 3]")}) {
    server.answer(200, body);
    shown = check(window);
    EXPECT_EQ(shown.title, "Проверка обновлений");
    EXPECT_TRUE(shown.text.startsWith("Не удалось прочитать сведения об обновлениях: ")) << shown.text.toStdString();
    EXPECT_GT(shown.text.size(), QStringLiteral("Не удалось прочитать сведения об обновлениях: ").size());
    EXPECT_EQ(window.statusLabel->text(), "Сведения об обновлениях повреждены");
  }

  server.answer(500, "{}");
  shown = check(window);
  EXPECT_EQ(shown.title, "Проверка обновлений");
  EXPECT_TRUE(shown.text.startsWith("Не удалось получить сведения об обновлениях:\n")) << shown.text.toStdString();
  EXPECT_TRUE(shown.text.endsWith("\n\nURL: " + url));
  EXPECT_EQ(window.statusLabel->text(), "Не удалось проверить обновления");

  // A server that never answers is ended by the transfer time-out.
  server.stayMute();
  window.updateTimeoutMs = 300;
  shown = check(window);
  EXPECT_EQ(shown.title, "Проверка обновлений");
  EXPECT_TRUE(shown.text.startsWith("Не удалось получить сведения об обновлениях:\n")) << shown.text.toStdString();
  window.updateTimeoutMs = 15000;

  // Addresses that are not web addresses are never offered; manifest strings
  // are plain text, never markup.
  for (const char* link : {"javascript:alert(1)", "file:///etc/passwd", "https://"}) {
    server.answer(200, manifest("<b>9.0</b>", QString::fromLatin1(link)));
    shown = check(window);
    EXPECT_EQ(shown.title, "Доступно обновление") << link;
    EXPECT_EQ(shown.buttons, closeOnly) << link;
    EXPECT_TRUE(shown.text.contains("Доступная версия: <b>9.0</b>"));
    EXPECT_TRUE(shown.plainText);
  }
  QCoreApplication::setApplicationVersion(QString());
}

TEST(UpdateCheck, SettingsButtonChecksTheStoredAddress) {
  useCleanSettings();
  QCoreApplication::setApplicationVersion("1.0.6");
  LoopbackServer server;
  server.answer(200, manifest("1.0.6"));
  QSettings().setValue("updates/manifestUrl", server.url("/stored.json"));
  TestWindow window;
  window.showSettingsDialog();
  QDialog* dialog = window.findChild<QDialog*>();
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QLineEdit*>()->setText(server.url("/edited.json"));
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->text() == "Проверить обновления") button->click();
  for (int i = 0; i < 300 && server.requests.isEmpty(); ++i) QTest::qWait(10);
  ASSERT_EQ(server.requests.size(), 1);
  EXPECT_EQ(server.requests.first(), "GET /stored.json HTTP/1.1");
  QCoreApplication::setApplicationVersion(QString());
}

TEST(UpdateCheck, ManifestChoosesChannelPlatformAndVersion) {
  const auto read = [](const char* json, const char* channel = "stable", bool appImage = false) {
    return readUpdateManifest(QByteArray(json), "ulvo-pdf-editor", channel, "1.0.6", appImage);
  };
  // "beta" missing and no root channel: "stable"; with neither, the first by name.
  auto answer = read(R"({"products": {"ulvo-pdf-editor": {"channels": {
      "stable": {"platforms": {"linux-amd64-deb": {"version": "1.0.7", "type": "deb"}}},
      "alpha": {"platforms": {"linux-amd64-deb": {"version": "3.0"}}}}}}})", "beta");
  EXPECT_EQ(answer.kind, UpdateManifestAnswer::Newer);
  EXPECT_EQ(answer.version, "1.0.7");
  answer = read(R"({"products": {"ulvo-pdf-editor": {"channels": {
      "zeta": {"platforms": {"linux-amd64-rpm": {"version": "4.0"}}},
      "alpha": {"platforms": {"linux-amd64-rpm": {"version": "3.0"}}}}}}})", "beta");
  EXPECT_EQ(answer.version, "3.0");
  EXPECT_EQ(answer.platform, "linux-amd64-rpm");
  // AppImage first when running as one, but a lone deb is still taken.
  const char* both = R"({"products": {"ulvo-pdf-editor": {"channels": {"stable": {"platforms": {
      "linux-amd64-deb": {"version": "2.0"}, "linux-amd64-appimage": {"version": "2.1"}}}}}}})";
  EXPECT_EQ(read(both, "stable", true).platform, "linux-amd64-appimage");
  EXPECT_EQ(read(both, "stable", false).platform, "linux-amd64-deb");
  EXPECT_EQ(read(R"({"products": {"ulvo-pdf-editor": {"channels": {"stable": {"platforms": {
      "linux-amd64-deb": {"version": "2.0"}}}}}}})", "stable", true).platform, "linux-amd64-deb");
  // No version in the package: "latestVersion"; neither: empty, not newer.
  EXPECT_EQ(read(R"({"products": {"ulvo-pdf-editor": {"latestVersion": "1.1", "channels": {"stable": {"platforms": {
      "linux-amd64-deb": {"url": "https://x.org/a"}}}}}}})").version, "1.1");
  EXPECT_EQ(read(R"({"products": {"ulvo-pdf-editor": {"channels": {"stable": {"platforms": {
      "linux-amd64-deb": {"url": "https://x.org/a"}}}}}}})").kind, UpdateManifestAnswer::Current);
  EXPECT_EQ(read("[]").kind, UpdateManifestAnswer::Malformed);

  EXPECT_TRUE(isNewerVersion("1.0.10", "1.0.6"));
  EXPECT_FALSE(isNewerVersion("1.0.6", "1.0.6"));
  EXPECT_TRUE(isNewerVersion("2.0-rc", "1.0.6"));
  EXPECT_FALSE(isNewerVersion("", "1.0.6"));

  EXPECT_TRUE(isOpenableUpdateUrl("https://example.com/a.deb"));
  EXPECT_TRUE(isOpenableUpdateUrl("http://example.com/a.deb"));
  for (const char* url : {"javascript:alert(1)", "file:///etc/passwd", "ftp://example.com/a", "https://", ""})
    EXPECT_FALSE(isOpenableUpdateUrl(url)) << url;

  useCleanSettings();
  QSettings().setValue("updates/manifestUrl", "https://stored.example.org/updates/latest.json");
  EnvironmentScope blank("ULVO_UPDATE_URL", "   ");
  EXPECT_EQ(updateManifestAddress(), "https://stored.example.org/updates/latest.json");
}

namespace {

// A hostile update server: after the request it either floods the body
// without end or trickles it one byte at a time, often enough that the
// transfer time-out never fires.
class HostileServer {
 public:
  enum Mode { Flood, Trickle, HugeLength };
  explicit HostileServer(Mode mode) : mode(mode) {
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          socket->readAll();
          if (socket->property("answered").toBool()) return;
          socket->setProperty("answered", true);
          const QByteArray length = this->mode == HugeLength ? "Content-Length: 100000000000\r\n" : "";
          socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n" + length + "Connection: close\r\n\r\n{");
          auto* timer = new QTimer(socket);
          QObject::connect(timer, &QTimer::timeout, socket, [this, socket] {
            if (this->mode == Trickle) {
              socket->write(" ");
              ++sent;
            } else if (socket->bytesToWrite() < (1 << 20)) {
              socket->write(QByteArray(256 * 1024, ' '));
              sent += 256 * 1024;
            }
          });
          timer->start(this->mode == Trickle ? 100 : 1);
        });
      }
    });
  }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1/updates/latest.json").arg(server.serverPort()); }

  Mode mode;
  QTcpServer server;
  qint64 sent = 0;
};

}  // namespace

TEST(UpdateCheck, HostileServerIsCutOffBySizeAndByTime) {
  useCleanSettings();
  QCoreApplication::setApplicationVersion("1.0.6");
  TestWindow window;
  for (const auto mode : {HostileServer::Flood, HostileServer::HugeLength, HostileServer::Trickle}) {
    SCOPED_TRACE(int(mode));
    HostileServer server(mode);
    EnvironmentScope address("ULVO_UPDATE_URL", server.url().toUtf8());
    window.updateDeadlineMs = 1500;
    QElapsedTimer clock;
    clock.start();
    const Shown shown = check(window);
    const qint64 took = clock.elapsed();
    EXPECT_EQ(shown.title, "Проверка обновлений");
    EXPECT_TRUE(shown.text.startsWith("Не удалось получить сведения об обновлениях:\n")) << shown.text.toStdString();
    if (mode == HostileServer::Trickle) {
      EXPECT_TRUE(shown.text.contains("сервер не ответил полностью за 1.5 с")) << shown.text.toStdString();
      EXPECT_GE(took, 1400);
      EXPECT_GT(server.sent, 5);  // it kept talking, yet the check ended
    } else {
      EXPECT_TRUE(shown.text.contains("файл сведений об обновлениях больше 1,00 МБ")) << shown.text.toStdString();
    }
    EXPECT_EQ(window.statusLabel->text(), "Не удалось проверить обновления");
  }
  window.updateDeadlineMs = 15000;
  QCoreApplication::setApplicationVersion(QString());
}

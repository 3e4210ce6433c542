#include "UpdateCheck.h"

#include "AppProduct.h"
#include "MainWindow.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QVersionNumber>

#include <memory>

namespace {

QString productId(AppProduct product) {
  switch (product) {
    case AppProduct::Viewer: return QStringLiteral("ulvo-pdf-viewer");
    case AppProduct::Ecp: return QStringLiteral("ulvo-ecp");
    default: return QStringLiteral("ulvo-pdf-editor");
  }
}

}  // namespace

QString updateManifestAddress() {
  const QString fromEnvironment = qEnvironmentVariable("ULVO_UPDATE_URL").trimmed();
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  return QSettings().value(QStringLiteral("updates/manifestUrl"), QString::fromLatin1(kDefaultUpdateManifestUrl)).toString();
}

bool isNewerVersion(const QString& available, const QString& current) {
  const QVersionNumber a = QVersionNumber::fromString(available);
  const QVersionNumber c = QVersionNumber::fromString(current);
  if (!a.isNull() && !c.isNull()) return QVersionNumber::compare(a, c) > 0;
  return available.trimmed() > current.trimmed();
}

bool isOpenableUpdateUrl(const QString& url) {
  const QUrl parsed(url, QUrl::StrictMode);
  const QString scheme = parsed.scheme().toLower();
  return parsed.isValid() && !parsed.host().isEmpty() && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

UpdateManifestAnswer readUpdateManifest(const QByteArray& body, const QString& product, const QString& channel,
                                        const QString& currentVersion, bool preferAppImage) {
  UpdateManifestAnswer answer;
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(body, &error);
  if (!document.isObject()) {
    answer.parseError = error.error == QJsonParseError::NoError ? QStringLiteral("not a JSON object") : error.errorString();
    return answer;
  }
  const QJsonObject root = document.object();
  const QJsonObject productObject = root.value("products").toObject().value(product).toObject();
  if (productObject.isEmpty()) {
    answer.kind = UpdateManifestAnswer::NoProduct;
    return answer;
  }
  const QJsonObject channels = productObject.value("channels").toObject();
  QJsonObject chosen = channels.value(channel).toObject();
  if (chosen.isEmpty()) chosen = channels.value(root.value("channel").toString(QStringLiteral("stable"))).toObject();
  if (chosen.isEmpty() && !channels.isEmpty()) chosen = channels.begin().value().toObject();
  QStringList candidates = {QStringLiteral("linux-amd64-deb"), QStringLiteral("linux-amd64-rpm"),
                            QStringLiteral("linux-amd64-appimage")};
  if (preferAppImage) candidates.prepend(QStringLiteral("linux-amd64-appimage"));
  candidates.removeDuplicates();
  const QJsonObject platforms = chosen.value("platforms").toObject();
  QJsonObject package;
  for (const QString& key : candidates) {
    package = platforms.value(key).toObject();
    if (!package.isEmpty()) {
      answer.platform = key;
      break;
    }
  }
  if (package.isEmpty()) {
    answer.kind = UpdateManifestAnswer::NoPackage;
    return answer;
  }
  answer.version = package.contains("version") ? package.value("version").toString()
                                               : productObject.value("latestVersion").toString();
  answer.url = package.value("url").toString();
  answer.type = package.value("type").toString();
  answer.sha256 = package.value("sha256").toString();
  answer.size = qint64(package.value("size").toDouble());
  answer.kind = isNewerVersion(answer.version, currentVersion) ? UpdateManifestAnswer::Newer : UpdateManifestAnswer::Current;
  return answer;
}

void MainWindow::checkForUpdates() {
  const QString address = updateManifestAddress();
  const QString channel = QSettings().value(QStringLiteral("updates/channel"), QStringLiteral("stable")).toString();
  const QString productKey = productId(product);
  QString current = QCoreApplication::applicationVersion();
  if (current.isEmpty()) current = QStringLiteral("1.0.2");
  setLocalizedText(statusLabel, QStringLiteral("Проверяю обновления..."));

  auto* manager = new QNetworkAccessManager(this);
  QNetworkRequest request(QUrl(address, QUrl::TolerantMode));
  request.setRawHeader("User-Agent", "UlvoPDF/" + current.toUtf8());
  request.setTransferTimeout(updateTimeoutMs);
  QNetworkReply* reply = manager->get(request);
  // The server decides neither how much we hold nor how long we wait: the
  // body is bounded, and the whole check ends at a deadline even when the
  // server trickles bytes often enough to defeat the transfer time-out.
  reply->setReadBufferSize(kLargestUpdateManifest + 1);
  auto stopReason = std::make_shared<QString>();
  const auto stop = [reply, stopReason](const QString& reason) {
    if (!stopReason->isEmpty() || reply->isFinished()) return;
    *stopReason = reason;
    reply->abort();
  };
  const QString tooLargeText =
      uiTranslate(QStringLiteral("файл сведений об обновлениях больше %1")).arg(formatFileSize(kLargestUpdateManifest));
  const auto tooLarge = [stop, tooLargeText] { stop(tooLargeText); };
  connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
    if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kLargestUpdateManifest) tooLarge();
  });
  auto body = std::make_shared<QByteArray>();
  const auto take = [reply, body] { body->append(reply->read(kLargestUpdateManifest + 1 - body->size())); };
  connect(reply, &QNetworkReply::readyRead, reply, [take, body, tooLarge] {
    take();
    if (body->size() > kLargestUpdateManifest) tooLarge();
  });
  auto* deadline = new QTimer(reply);
  deadline->setSingleShot(true);
  const int deadlineMs = updateDeadlineMs;
  connect(deadline, &QTimer::timeout, reply, [stop, deadlineMs] {
    stop(uiTranslate(QStringLiteral("сервер не ответил полностью за %1 с")).arg(deadlineMs / 1000.0, 0, 'g', 3));
  });
  deadline->start(updateDeadlineMs);
  connect(reply, &QNetworkReply::finished, this,
          [this, manager, reply, address, channel, productKey, current, stopReason, body, take, tooLargeText] {
    manager->deleteLater();
    reply->deleteLater();
    const QString checkTitle = QStringLiteral("Проверка обновлений");
    if (stopReason->isEmpty() && reply->error() == QNetworkReply::NoError) {
      take();
      if (body->size() > kLargestUpdateManifest) *stopReason = tooLargeText;
    }
    if (!stopReason->isEmpty() || reply->error() != QNetworkReply::NoError) {
      setLocalizedText(statusLabel, QStringLiteral("Не удалось проверить обновления"));
      showUpdateMessage(checkTitle,
                       uiTranslate(QStringLiteral("Не удалось получить сведения об обновлениях:\n%1\n\nURL: %2"))
                           .arg(stopReason->isEmpty() ? reply->errorString() : *stopReason, address),
                       {});
      return;
    }
    const UpdateManifestAnswer answer =
        readUpdateManifest(*body, productKey, channel, current, !qEnvironmentVariableIsEmpty("APPIMAGE"));
    switch (answer.kind) {
      case UpdateManifestAnswer::Malformed:
        setLocalizedText(statusLabel, QStringLiteral("Сведения об обновлениях повреждены"));
        showUpdateMessage(checkTitle, uiTranslate(QStringLiteral("Не удалось прочитать сведения об обновлениях: %1")).arg(answer.parseError), {});
        return;
      case UpdateManifestAnswer::NoProduct:
        showUpdateMessage(checkTitle,
                         uiTranslate(QStringLiteral("В сведениях об обновлениях нет данных для продукта %1.\nURL: %2")).arg(uiTranslate(productDisplayName(product)), address), {});
        return;
      case UpdateManifestAnswer::NoPackage:
        showUpdateMessage(checkTitle,
                         uiTranslate(QStringLiteral("Для этой платформы пока нет пакета обновления.\nТекущая версия: %1\nURL: %2")).arg(current, address),
                         {});
        return;
      case UpdateManifestAnswer::Newer:
        if (statusLabel) statusLabel->setText(uiTranslate(QStringLiteral("Доступно обновление %1")).arg(answer.version));
        showUpdateMessage(QStringLiteral("Доступно обновление"),
                         uiTranslate(QStringLiteral("Продукт: %1\nТекущая версия: %2\nДоступная версия: %3\nПакет: %4 · %5\nРазмер: %6\nSHA-256: %7"))
                             .arg(uiTranslate(productDisplayName(product)), current, answer.version, answer.platform, answer.type,
                                  formatFileSize(answer.size), answer.sha256),
                         answer.url);
        return;
      case UpdateManifestAnswer::Current:
        setLocalizedText(statusLabel, QStringLiteral("Установлена актуальная версия"));
        showUpdateMessage(QStringLiteral("Обновлений нет"),
                         uiTranslate(QStringLiteral("Установлена актуальная версия %1.\nПроверенный канал: %2\nПакет платформы: %3 · %4"))
                             .arg(current, channel, answer.platform, answer.type),
                         {});
        return;
    }
  });
}

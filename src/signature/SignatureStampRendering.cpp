#include "SignatureStampRendering.h"

#include "SignatureTexts.h"
#include "DistinguishedName.h"
#include "SignatureStampStorage.h"

#include <QCoreApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

const QColor kTeal(16, 119, 111);
const QColor kInk(15, 23, 42);

QRectF variableRect(const SignatureStampVariable& variable, const QSize& picture) {
  return QRectF(variable.x * picture.width(), variable.y * picture.height(), variable.w * picture.width(),
                variable.h * picture.height());
}

QString dateOrEmpty(const QDateTime& moment) {
  return moment.isValid() ? moment.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

// A stamp larger than any page needs is a hostile request, not a stamp.
QSize boundedSize(QSize size) {
  return QSize(std::min(size.width(), kStampPictureMaxSide), std::min(size.height(), kStampPictureMaxSide));
}

}  // namespace

QString replaceStampPlaceholders(const QString& text, const QHash<QString, QString>& values) {
  static const QRegularExpression placeholder(QStringLiteral("\\{\\{([A-Z0-9_]+)\\}\\}"));
  QString result = text;
  QRegularExpressionMatchIterator it = placeholder.globalMatch(text);
  while (it.hasNext()) {
    const QString name = it.next().captured(1);
    result.replace(QStringLiteral("{{%1}}").arg(name), values.value(name));
  }
  return result;
}

QImage defaultSignatureStampBase(QSize size) {
  size = boundedSize(size);
  QImage image(std::max(size.width(), 480), std::max(size.height(), 220), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

  const QRectF card(8, 8, image.width() - 16, image.height() - 16);
  painter.setPen(QPen(kTeal, 4, Qt::SolidLine));
  painter.setBrush(QColor(255, 255, 255, 232));
  painter.drawRoundedRect(card, 22, 22, Qt::AbsoluteSize);

  const QRectF panel(card.x() + 20, card.y() + 22, 118, card.height() - 44);
  QColor translucent = kTeal;
  translucent.setAlpha(22);
  painter.setPen(Qt::NoPen);
  painter.setBrush(translucent);
  painter.drawRoundedRect(panel, 18, 18, Qt::AbsoluteSize);

  const QPointF centre = panel.center();
  painter.setPen(QPen(kTeal, 5, Qt::SolidLine));
  painter.drawEllipse(centre, 34, 34);
  const double cx = centre.x(), cy = centre.y();
  painter.drawLine(QPointF(cx - 18, cy + 1), QPointF(cx - 4, cy + 17));
  painter.drawLine(QPointF(cx - 4, cy + 17), QPointF(cx + 24, cy - 21));

  painter.setPen(kInk);
  QFont heading(QStringLiteral("Times New Roman"));
  heading.setPointSize(24);
  heading.setWeight(QFont::Bold);
  heading.setItalic(false);
  painter.setFont(heading);
  painter.drawText(QRectF(card.x() + 160, card.y() + 24, card.width() - 184, card.height() - 44),
                   Qt::AlignLeft | Qt::AlignTop, uiText("Документ подписан электронной подписью"));
  return image;
}

QImage renderSignatureStampTemplate(const SignatureStampTemplate& stampTemplate,
                                    const QHash<QString, QString>& values, QSize targetSize) {
  QImage picture = stampTemplate.image.isNull() ? defaultSignatureStampBase(kStandardStampSize)
                                                : stampTemplate.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int originalHeight = picture.height();
  targetSize = boundedSize(targetSize);
  if (targetSize.width() > 0 && targetSize.height() > 0 && targetSize != picture.size())
    picture = picture.scaled(targetSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const double scale = originalHeight == 0 ? 1.0 : double(picture.height()) / originalHeight;

  QPainter painter(&picture);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  for (const SignatureStampVariable& variable : stampTemplate.variables) {
    const QRectF rect = variableRect(variable, picture.size());
    if (!(rect.width() > 0) || !(rect.height() > 0)) continue;
    QFont font(variable.font.trimmed().isEmpty() ? QStringLiteral("Times New Roman") : variable.font);
    const double size = std::clamp(variable.fontSizePx, kStampFontSizeMinPx, kStampFontSizeMaxPx) * scale;
    font.setPixelSize(std::max(8, int(std::lround(size))));
    font.setWeight(variable.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(variable.italic);
    painter.setFont(font);
    painter.setPen(variable.color.isValid() ? variable.color : kInk);
    QTextOption option(Qt::Alignment(variable.alignment & 0x1FF));
    option.setWrapMode(QTextOption::WordWrap);
    painter.drawText(rect, replaceStampPlaceholders(variable.text, values), option);
  }
  return picture;
}

QPixmap stampTemplatePreviewPixmap(const SignatureStampTemplate& stampTemplate, const QSize& size,
                                   int selectedVariable) {
  const QSize renderSize = stampTemplate.image.isNull() ? kStandardStampSize : stampTemplate.image.size();
  QImage picture = renderSignatureStampTemplate(stampTemplate, signatureStampPreviewValues(), renderSize);
  if (picture.isNull()) picture = defaultSignatureStampBase(kStandardStampSize);
  if (selectedVariable >= 0) {
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < stampTemplate.variables.size(); ++i) {
      painter.setPen(i == selectedVariable ? QPen(QColor(37, 99, 235), 4, Qt::SolidLine)
                                           : QPen(QColor(20, 184, 166), 2, Qt::DashLine));
      painter.drawRoundedRect(variableRect(stampTemplate.variables.at(i), picture.size()), 6, 6);
    }
  }
  return QPixmap::fromImage(picture).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QHash<QString, QString> signatureStampValues(const SigningCertificate& certificate, const QByteArray& documentSha256,
                                             const QDateTime& signedAt) {
  const QString hex = QString::fromLatin1(documentSha256.toHex().toUpper());
  QStringList groups;
  for (int i = 0; i < hex.size(); i += 16) groups << hex.mid(i, 16);
  // Names come as RFC 2253 text with escaped UTF-8 bytes; the stamp shows letters.
  return {{QStringLiteral("SIGNER"), distinguishedPersonName(certificate.subject)},
          {QStringLiteral("SUBJECT"), readableDistinguishedName(certificate.subject)},
          {QStringLiteral("ISSUER"), distinguishedPersonName(certificate.issuer)},
          {QStringLiteral("SERIAL"), certificate.serial},
          {QStringLiteral("THUMBPRINT"), certificate.thumbprint},
          {QStringLiteral("ALGORITHM"), certificate.publicKeyAlgorithm},
          {QStringLiteral("VALID_FROM"), dateOrEmpty(certificate.validFrom)},
          {QStringLiteral("VALID_TO"), dateOrEmpty(certificate.validTo)},
          {QStringLiteral("DATE"), signedAt.toString(QStringLiteral("dd.MM.yyyy"))},
          {QStringLiteral("TIME"), signedAt.toString(QStringLiteral("HH:mm:ss"))},
          {QStringLiteral("DATETIME"), signedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))},
          {QStringLiteral("SHA256"), groups.join(QLatin1Char(' '))},
          {QStringLiteral("SHA256_SHORT"), hex.left(16)},
          {QStringLiteral("PROVIDER"), certificate.providerName},
          {QStringLiteral("CONTAINER"), certificate.containerName},
          {QStringLiteral("STORE"), certificate.storeName}};
}

QHash<QString, QString> signatureStampPreviewValues() {
  const QDateTime now = QDateTime::currentDateTime();
  const QString sampleName = uiText("Иванов Иван Иванович");
  return {{QStringLiteral("SIGNER"), sampleName},
          {QStringLiteral("SUBJECT"), uiText("CN=Иванов Иван Иванович")},
          {QStringLiteral("ISSUER"), uiText("Удостоверяющий центр")},
          {QStringLiteral("SERIAL"), QStringLiteral("01:23:45:67:89")},
          {QStringLiteral("THUMBPRINT"), QStringLiteral("AA:BB:CC:DD")},
          {QStringLiteral("ALGORITHM"), QStringLiteral("ГОСТ Р 34.10-2012 256")},
          {QStringLiteral("VALID_FROM"), now.addYears(-1).toString(QStringLiteral("dd.MM.yyyy"))},
          {QStringLiteral("VALID_TO"), now.addYears(1).toString(QStringLiteral("dd.MM.yyyy"))},
          {QStringLiteral("DATE"), now.toString(QStringLiteral("dd.MM.yyyy"))},
          {QStringLiteral("TIME"), now.toString(QStringLiteral("HH:mm:ss"))},
          {QStringLiteral("DATETIME"), now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))},
          {QStringLiteral("SHA256"),
           QStringLiteral("0123456789ABCDEF 0123456789ABCDEF 0123456789ABCDEF 0123456789ABCDEF")},
          {QStringLiteral("SHA256_SHORT"), QStringLiteral("0123456789ABCDEF")},
          {QStringLiteral("PROVIDER"), QStringLiteral("CryptoPro CSP")},
          {QStringLiteral("CONTAINER"), QStringLiteral("HDIMAGE\\container")},
          {QStringLiteral("STORE"), QStringLiteral("CurrentUser\\MY")}};
}

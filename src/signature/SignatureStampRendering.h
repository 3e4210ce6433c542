#pragma once
// Turns a stamp template and the stamp values into the stamp's picture, draws
// the built-in stamp picture and the small previews of templates.

#include "SignatureStampTemplate.h"
#include "core/SigningCertificate.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

// The size at which stamped copies are always rendered.
inline constexpr QSize kStandardStampSize(1180, 490);

QImage renderSignatureStampTemplate(const SignatureStampTemplate& stampTemplate,
                                    const QHash<QString, QString>& values, QSize targetSize);
QImage defaultSignatureStampBase(QSize size);
// selectedVariable -1: a plain preview without frames around the lines.
QPixmap stampTemplatePreviewPixmap(const SignatureStampTemplate& stampTemplate, const QSize& size,
                                   int selectedVariable);

// The sixteen stamp values of a real signature, and the samples of a preview.
QHash<QString, QString> signatureStampValues(const SigningCertificate& certificate, const QByteArray& documentSha256,
                                             const QDateTime& signedAt);
QHash<QString, QString> signatureStampPreviewValues();
// A line's text with its "{{NAME}}" placeholders replaced.
QString replaceStampPlaceholders(const QString& text, const QHash<QString, QString>& values);

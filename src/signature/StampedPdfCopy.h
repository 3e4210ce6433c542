#pragma once
// The stamped copy of a PDF: the rendered stamp placed as an image object on
// one page, saved under a new path. A signed source gets the stamp as an
// appended update, so that its signatures stay valid in the copy; a locked
// one is read with its password and the copy locked as it is. The source is
// never written.

#include "core/SigningCertificate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct SignatureStampOptions {
  int page = 0;  // zero-based, clamped to the document
  QString position = QStringLiteral("bottom-right");  // bottom-left, top-right, top-left, center
  double widthMm = 82;
  double heightMm = 34;
  double marginMm = 12;
  QString templateId = QStringLiteral("default");
  QByteArray sourcePassword;  // for a locked source
  // The user agreed that the copy may be written whole, breaking the
  // signatures the source carries.
  bool mayBreakSignatures = false;
};

// Largest stamp a page gets; the dialog offers no more either.
inline constexpr double kStampMaxWidthMm = 180;
inline constexpr double kStampMaxHeightMm = 90;

// signaturesWouldBreak (when set) tells a failure that only a whole rewrite,
// with mayBreakSignatures, gets past.
bool createStampedPdfCopy(const QString& sourcePath, const QString& outputPath, const SigningCertificate& certificate,
                          const QByteArray& documentSha256, const QDateTime& signedAt,
                          const SignatureStampOptions& options, QString* error,
                          bool* signaturesWouldBreak = nullptr);

// Lower-left corner and size of the stamp on a page of pageSize, in points.
QRectF stampRectOnPage(const QSizeF& pageSize, const SignatureStampOptions& options);

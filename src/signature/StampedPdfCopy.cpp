#include "StampedPdfCopy.h"

#include "SignatureTexts.h"
#include "SignatureStampRendering.h"
#include "SignatureStampStorage.h"
#include "core/PdfDocument.h"

#include <QHash>

#include <QCoreApplication>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

double points(double mm) { return mm * 72.0 / 25.4; }

// Non-finite or non-positive sizes stay as they are so that placing refuses them.
double boundedMm(double mm, double maximum) { return std::isfinite(mm) && mm > 0 ? std::min(mm, maximum) : 0; }

double clampedOrigin(double value, double maximum) { return maximum <= 0 ? 0 : std::clamp(value, 0.0, maximum); }

// The stamp's lines as invisible text over the picture, so that the signer's
// name can be found and copied; a line that cannot be written only loses that.
void addStampTextLayer(PdfDocument& document, int page, const QRectF& box, const SignatureStampTemplate& stamp,
                       const QHash<QString, QString>& values) {
  for (const SignatureStampVariable& variable : stamp.variables) {
    const QString line = replaceStampPlaceholders(variable.text, values).simplified();
    if (line.isEmpty() || !(variable.w > 0) || !(variable.h > 0)) continue;
    QRectF rect(box.x() + variable.x * box.width(), box.y() + (1.0 - variable.y - variable.h) * box.height(),
                variable.w * box.width(), variable.h * box.height());
    // The layer fills its rectangle; a long line (the digest) stretched to a
    // tall box gets glyphs far narrower than high, and text tools then merge
    // neighbouring equal characters. Such a line keeps about the proportions
    // of one row of text, centred in its box.
    const double rowHeight = std::min(rect.height(), 2.0 * rect.width() / std::max<qsizetype>(1, line.size()));
    rect = QRectF(rect.x(), rect.center().y() - rowHeight / 2, rect.width(), rowHeight);
    document.addInvisibleText(page, rect, line, variable.font, float(rect.height()));
  }
}

}  // namespace

QRectF stampRectOnPage(const QSizeF& pageSize, const SignatureStampOptions& options) {
  const double W = pageSize.width(), H = pageSize.height();
  const double w = points(boundedMm(options.widthMm, kStampMaxWidthMm));
  const double h = points(boundedMm(options.heightMm, kStampMaxHeightMm));
  const double m = std::isfinite(options.marginMm) ? points(std::clamp(options.marginMm, 0.0, 1000.0)) : 0;
  double x = W - w - m, y = m;  // bottom-right, also for any unknown text
  if (options.position == QLatin1String("top-left")) {
    x = m;
    y = H - h - m;
  } else if (options.position == QLatin1String("top-right")) {
    y = H - h - m;
  } else if (options.position == QLatin1String("bottom-left")) {
    x = m;
  } else if (options.position == QLatin1String("center")) {
    x = (W - w) * 0.5;
    y = (H - h) * 0.5;
  }
  x = clampedOrigin(x, W - w);
  y = clampedOrigin(y, H - h);
  return QRectF(x, y, std::min(w, W), std::min(h, H));
}

bool createStampedPdfCopy(const QString& sourcePath, const QString& outputPath, const SigningCertificate& certificate,
                          const QByteArray& documentSha256, const QDateTime& signedAt,
                          const SignatureStampOptions& options, QString* error, bool* signaturesWouldBreak) {
  const auto fail = [error](const QString& message) {
    if (error) *error = message;
    return false;
  };
  PdfDocument document;
  if (!document.open(sourcePath, options.sourcePassword))
    return fail(uiText("Не удалось открыть PDF для нанесения штампа: %1").arg(document.lastError()));
  const int count = document.pageCount();
  if (count <= 0) return fail(uiText("В PDF нет страниц для нанесения штампа."));
  const int page = std::clamp(options.page, 0, count - 1);
  const QRectF box = stampRectOnPage(document.pageSize(page), options);

  // A chosen template whose file is damaged is not swapped for the built-in one
  // behind the user's back.
  QStringList problems;
  const SignatureStampTemplate stamp = loadSignatureStampTemplate(options.templateId, &problems);
  const bool wantedBuiltIn =
      options.templateId.trimmed().isEmpty() || options.templateId == QLatin1String("default");
  if (!problems.isEmpty() && !wantedBuiltIn && stamp.builtIn) return fail(problems.join(QLatin1Char('\n')));

  const QHash<QString, QString> values = signatureStampValues(certificate, documentSha256, signedAt);
  const QImage picture = renderSignatureStampTemplate(stamp, values, kStandardStampSize);
  const auto placeStamp = [&](PdfDocument& target, int targetPage) {
    if (!target.addImageToPage(targetPage, box.topLeft(), box.size(), picture)) return false;
    addStampTextLayer(target, targetPage, box, stamp, values);
    return true;
  };
  if (document.signatureCount() > 0 && !options.mayBreakSignatures) {
    // The stamp is drawn on a page of its own, as large as the page is shown,
    // which the update lays over the signed page.
    PdfDocument overlay;
    if (!overlay.createEmpty() || !overlay.insertBlankPage(0, document.pageSize(page)) || !placeStamp(overlay, 0))
      return fail(uiText("Не удалось добавить видимый штамп в PDF."));
    if (document.saveWithPageOverlay(outputPath, page, overlay)) return true;
    if (signaturesWouldBreak) *signaturesWouldBreak = true;
    return fail(uiText("Подписи документа нельзя сохранить в копии со штампом: %1").arg(document.lastError()));
  }
  if (!placeStamp(document, page)) return fail(uiText("Не удалось добавить видимый штамп в PDF."));
  if (!document.saveAs(outputPath)) return fail(uiText("Не удалось сохранить PDF со штампом: %1").arg(document.lastError()));
  return true;
}

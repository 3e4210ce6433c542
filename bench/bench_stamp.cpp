// Visible stamps: rendering one stamp, listing stamp templates with their
// preview icons (what the signature dialog does when it opens), and making
// the stamped copy of documents of growing size.
#include "BenchPdf.h"
#include "BenchTiming.h"

#include "signature/SignatureStampRendering.h"
#include "signature/SignatureStampStorage.h"
#include "signature/StampedPdfCopy.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool writeDocument(const QString& path, int pages) {
  QPdfWriter writer(path);
  QPainter painter;
  if (!beginA4Pdf(writer, painter)) return false;
  for (int page = 0; page < pages; ++page) {
    if (page > 0 && !writer.newPage()) return false;
    for (int line = 0; line < 40; ++line)
      painter.drawText(QPointF(50, 60 + 18 * line), QStringLiteral("Строка %1 страницы %2 договора поставки").arg(line).arg(page));
  }
  return painter.end();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir folder;
  qputenv("XDG_DATA_HOME", folder.filePath("data").toUtf8());
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("ulvo");
  QCoreApplication::setApplicationName("ulvo-bench-stamp");

  SigningCertificate signer;
  signer.subject = "CN=Иван Петров,O=Test\\, Org,C=RU";
  const QByteArray digest(32, '\x42');
  const SignatureStampTemplate builtIn = defaultSignatureStampTemplate();
  std::printf("render one stamp 1180x490: %.1f ms\n", medianMs(9, [&] {
                renderSignatureStampTemplate(builtIn, signatureStampValues(signer, digest, QDateTime::currentDateTime()),
                                             kStandardStampSize);
              }));

  for (int i = 0; i < 20; ++i) {
    SignatureStampTemplate stamp = builtIn;
    stamp.builtIn = false;
    stamp.id.clear();
    stamp.name = QStringLiteral("Шаблон %1").arg(i);
    QString error;
    if (!saveSignatureStampTemplate(stamp, &error)) return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;
  }
  std::printf("list 21 templates with 150x60 previews: %.1f ms\n", medianMs(5, [&] {
                for (const SignatureStampTemplate& stamp : loadSignatureStampTemplates())
                  stampTemplatePreviewPixmap(stamp, QSize(150, 60), -1);
              }));

  for (int pages : {1, 200, 1000}) {
    const QString source = folder.filePath(QStringLiteral("doc-%1.pdf").arg(pages));
    if (!writeDocument(source, pages)) return 1;
    const QString output = folder.filePath("stamped.pdf");
    SignatureStampOptions options;
    options.page = pages - 1;
    const double ms = medianMs(3, [&] {
      QString error;
      if (!createStampedPdfCopy(source, output, signer, digest, QDateTime::currentDateTime(), options, &error))
        std::fprintf(stderr, "%s\n", qPrintable(error));
    });
    std::printf("stamped copy of %d pages (%.1f MB): %.1f ms\n", pages, QFileInfo(source).size() / 1e6, ms);
  }
  return 0;
}

#include "PdfEncryptionKeeping.h"
#include "CoreText.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <string>

bool encryptLikeOriginal(const QByteArray& original, const QByteArray& password, const QByteArray& plain,
                         bool objectStreams, QByteArray* locked, QString* error) {
  try {
    const std::string secret = password.toStdString();
    QPDF source;
    source.setSuppressWarnings(true);
    source.processMemoryFile("original.pdf", original.constData(), size_t(original.size()), secret.c_str());
    QPDF edited;
    edited.setSuppressWarnings(true);
    edited.processMemoryFile("edited.pdf", plain.constData(), size_t(plain.size()));
    QPDFWriter writer(edited);
    writer.setOutputMemory();
    writer.copyEncryptionParameters(source);
    if (objectStreams) writer.setObjectStreamMode(qpdf_o_generate);
    writer.setLinearization(false);
    writer.write();
    const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    if (!buffer || buffer->getSize() == 0) {
      if (error) *error = coreText("Не удалось зашифровать сохраняемый файл.");
      return false;
    }
    *locked = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
    return true;
  } catch (const std::exception& e) {
    if (error)
      *error = coreText("Не удалось зашифровать сохраняемый файл: %1").arg(QString::fromLocal8Bit(e.what()));
    return false;
  }
}

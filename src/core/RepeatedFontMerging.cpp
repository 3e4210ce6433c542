#include "RepeatedFontMerging.h"

#include <QCryptographicHash>

#include "QpdfInMemory.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <map>
#include <memory>
#include <string>

namespace {

// What an object says, with everything it refers to: equal descriptions
// mean objects that draw the same. Each indirect object is described once.
class Describer {
 public:
  std::string of(QPDFObjectHandle object) {
    if (!object.isIndirect()) return direct(object);
    const QPDFObjGen id = object.getObjGen();
    if (auto it = known.find(id); it != known.end()) return it->second;
    // A reference back into an object being described stands for itself.
    known[id] = "R" + std::to_string(id.getObj()) + "." + std::to_string(id.getGen());
    const std::string text = direct(object);
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha1);
    return known[id] = "#" + digest.toHex().toStdString();
  }

 private:
  std::string direct(QPDFObjectHandle object) {
    if (object.isStream()) {
      const std::shared_ptr<Buffer> data = object.getRawStreamData();
      const QByteArray digest = QCryptographicHash::hash(
          QByteArrayView(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize())),
          QCryptographicHash::Sha1);
      return "stream" + direct(object.getDict()) + digest.toHex().toStdString();
    }
    if (object.isDictionary()) {
      std::string text = "<<";
      for (const std::string& key : object.getKeys()) {
        // The length follows from the data, which is compared itself.
        if (key == "/Length") continue;
        text += key + " " + of(object.getKey(key)) + " ";
      }
      return text + ">>";
    }
    if (object.isArray()) {
      std::string text = "[";
      for (int i = 0; i < object.getArrayNItems(); ++i) text += of(object.getArrayItem(i)) + " ";
      return text + "]";
    }
    return object.unparse();
  }

  std::map<QPDFObjGen, std::string> known;
};

// Points every reference to a merged object at the one kept, inside the
// direct parts of `object`.
bool redirect(QPDFObjectHandle object, const std::map<QPDFObjGen, QPDFObjectHandle>& kept) {
  bool changed = false;
  const auto replacement = [&](QPDFObjectHandle value) -> const QPDFObjectHandle* {
    if (!value.isIndirect()) return nullptr;
    const auto it = kept.find(value.getObjGen());
    return it == kept.end() ? nullptr : &it->second;
  };
  if (object.isStream()) return redirect(object.getDict(), kept);
  if (object.isDictionary()) {
    for (const std::string& key : object.getKeys()) {
      QPDFObjectHandle value = object.getKey(key);
      if (const QPDFObjectHandle* to = replacement(value)) {
        object.replaceKey(key, *to);
        changed = true;
      } else if (!value.isIndirect()) {
        changed = redirect(value, kept) || changed;
      }
    }
  } else if (object.isArray()) {
    for (int i = 0; i < object.getArrayNItems(); ++i) {
      QPDFObjectHandle value = object.getArrayItem(i);
      if (const QPDFObjectHandle* to = replacement(value)) {
        object.setArrayItem(i, *to);
        changed = true;
      } else if (!value.isIndirect()) {
        changed = redirect(value, kept) || changed;
      }
    }
  }
  return changed;
}

bool isOfType(QPDFObjectHandle object, const char* type) {
  return object.isDictionary() && object.getKey("/Type").isNameAndEquals(type);
}

}  // namespace

bool mergeRepeatedFonts(const QByteArray& pdf, bool objectStreams, QByteArray* merged) {
  // Only the subsets this program writes repeat: DejaVu or Noto TrueType
  // programs. pdfium writes dictionaries as they are, so their names show.
  if (pdf.count("/FontFile2") < 2 || !(pdf.contains("+DejaVu") || pdf.contains("+Noto"))) return false;
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.setAttemptRecovery(false);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()));
    const std::vector<QPDFObjectHandle> objects = reader.getAllObjects();
    Describer describe;

    // The first of each set of equal fonts, programs and font dictionaries
    // alike, stands for the others.
    std::map<std::string, QPDFObjectHandle> first;
    std::map<QPDFObjGen, QPDFObjectHandle> kept;
    const auto keepFirst = [&](QPDFObjectHandle object) {
      if (!object.isIndirect()) return;
      auto [it, added] = first.emplace(describe.of(object), object);
      if (!added && it->second.getObjGen() != object.getObjGen()) kept.emplace(object.getObjGen(), it->second);
    };
    for (QPDFObjectHandle object : objects) {
      if (!isOfType(object, "/FontDescriptor")) continue;
      for (const char* key : {"/FontFile", "/FontFile2", "/FontFile3"})
        if (object.hasKey(key) && object.getKey(key).isStream()) keepFirst(object.getKey(key));
    }
    for (QPDFObjectHandle object : objects)
      if (isOfType(object, "/Font")) keepFirst(object);
    if (kept.empty()) return false;

    bool changed = false;
    for (QPDFObjectHandle object : objects) changed = redirect(object, kept) || changed;
    changed = redirect(reader.getTrailer(), kept) || changed;
    if (!changed) return false;

    // Only what is still referred to is written: the merged copies go.
    return writeQpdfToMemory(reader, objectStreams, merged);
  } catch (const std::exception&) {
    return false;
  }
}

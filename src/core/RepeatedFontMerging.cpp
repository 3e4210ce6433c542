#include "RepeatedFontMerging.h"

#include <QCryptographicHash>

#include "QpdfInMemory.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Fonts this program writes are four objects deep; anything nested far
// deeper is not one of them, and walking it could exhaust the stack or the
// clock on every save. Past these bounds the file is saved unmerged.
constexpr int kMaxDepth = 64;
constexpr long kMaxVisited = 4'000'000;
// A merged object makes its users equal in the next pass at the latest;
// Type0 → CIDFont → descriptor → program needs four.
constexpr int kMaxPasses = 6;
constexpr size_t kMaxDecodedBytes = size_t(64) << 20;

struct GaveUp : std::runtime_error {
  GaveUp() : std::runtime_error("font merging gave up") {}
};

using Replacement = std::function<std::optional<QPDFObjectHandle>(QPDFObjectHandle)>;

// Calls `visit` with every reference in the direct content of `root` (a
// stream: its dictionary), putting in its place what `visit` returns.
void eachReference(QPDFObjectHandle root, const Replacement& visit) {
  std::vector<std::pair<QPDFObjectHandle, int>> stack{{root.isStream() ? root.getDict() : root, 0}};
  while (!stack.empty()) {
    auto [container, depth] = stack.back();
    stack.pop_back();
    if (depth > kMaxDepth) throw GaveUp();
    const auto look = [&](QPDFObjectHandle value, const auto& replace) {
      if (!value.isIndirect()) {
        if (value.isDictionary() || value.isArray()) stack.emplace_back(value, depth + 1);
      } else if (std::optional<QPDFObjectHandle> to = visit(value)) {
        replace(*to);
      }
    };
    if (container.isDictionary()) {
      for (const std::string& key : container.getKeys())
        look(container.getKey(key), [&](QPDFObjectHandle to) { container.replaceKey(key, to); });
    } else if (container.isArray()) {
      for (int i = 0; i < container.getArrayNItems(); ++i)
        look(container.getArrayItem(i), [&](QPDFObjectHandle to) { container.setArrayItem(i, to); });
    }
  }
}

// Hashes decoded stream data without keeping it; a bomb stops at the cap.
class DigestPipeline : public Pipeline {
 public:
  DigestPipeline() : Pipeline("font digest", nullptr) {}
  void write(unsigned char const* data, size_t len) override {
    if ((total += len) > kMaxDecodedBytes) throw std::length_error("decoded font data too large");
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(len)));
  }
  void finish() override {}
  QCryptographicHash hash{QCryptographicHash::Sha256};

 private:
  size_t total = 0;
};

// Describes the parts of the program's subsets. A reference to another part
// reads as the part it was merged into, so parts whose parts were merged
// become equal in a later pass; nothing else is followed.
class Describer {
 public:
  Describer(const std::map<QPDFObjGen, QPDFObjectHandle>& parts, const std::map<QPDFObjGen, QPDFObjGen>& mergedInto)
      : parts(parts), mergedInto(mergedInto) {}

  std::string of(QPDFObjectHandle part) {
    std::string text;
    if (part.isStream()) {
      // A stream that cannot be read is unlike any other.
      const std::string digest = decodedDigest(part);
      text = digest.empty() ? "undecoded " + part.getObjGen().unparse(' ') + " " : "stream " + digest + " ";
    }
    // Items wait on the stack in reverse; a plain string is written as is.
    struct Item {
      QPDFObjectHandle value;
      std::string text;
      int depth = 0;
    };
    std::vector<Item> stack{{part.isStream() ? part.getDict() : part, {}, 0}};
    while (!stack.empty()) {
      Item item = std::move(stack.back());
      stack.pop_back();
      if (!item.value.isInitialized()) {
        text += item.text;
        continue;
      }
      if (++visited > kMaxVisited || item.depth > kMaxDepth) throw GaveUp();
      QPDFObjectHandle value = item.value;
      if (value.isIndirect() && item.depth > 0) {
        text += name(value.getObjGen()) + " ";
      } else if (value.isDictionary()) {
        text += "<< ";
        stack.push_back({{}, ">> ", 0});
        const std::set<std::string> keys = value.getKeys();
        for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
          // Stream data is compared decoded, however it was stored.
          if (part.isStream() && item.depth == 0 && (*key == "/Length" || *key == "/Filter" || *key == "/DecodeParms"))
            continue;
          stack.push_back({value.getKey(*key), {}, item.depth + 1});
          stack.push_back({{}, *key + " ", 0});
        }
      } else if (value.isArray()) {
        text += "[ ";
        stack.push_back({{}, "] ", 0});
        for (int i = value.getArrayNItems() - 1; i >= 0; --i)
          stack.push_back({value.getArrayItem(i), {}, item.depth + 1});
      } else {
        text += value.unparse() + " ";
      }
    }
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256).toStdString();
  }

 private:
  std::string name(QPDFObjGen id) const {
    if (!parts.count(id)) return "R" + id.unparse('.');
    for (auto it = mergedInto.find(id); it != mergedInto.end(); it = mergedInto.find(id)) id = it->second;
    return "P" + id.unparse('.');
  }

  // Empty when the data cannot be decoded; such a stream is never merged.
  std::string decodedDigest(QPDFObjectHandle stream) {
    if (auto it = digests.find(stream.getObjGen()); it != digests.end()) return it->second;
    DigestPipeline digest;
    bool filtered = false;
    std::string result;
    if (stream.pipeStreamData(&digest, &filtered, 0, qpdf_dl_specialized, true) && filtered)
      result = digest.hash.result().toHex().toStdString();
    return digests[stream.getObjGen()] = result;
  }

  const std::map<QPDFObjGen, QPDFObjectHandle>& parts;
  const std::map<QPDFObjGen, QPDFObjGen>& mergedInto;
  std::map<QPDFObjGen, std::string> digests;
  long visited = 0;
};

// "ABCDEF+DejaVuSerif": the subset names EmbeddableFont gives the fonts it cuts.
bool isOwnSubsetName(QPDFObjectHandle name) {
  if (!name.isName()) return false;
  const std::string text = name.getName();
  if (text.size() < 9 || text[0] != '/' || text[7] != '+') return false;
  for (int i = 1; i <= 6; ++i)
    if (text[size_t(i)] < 'A' || text[size_t(i)] > 'Z') return false;
  const std::string_view family = std::string_view(text).substr(8);
  return family.starts_with("DejaVu") || family.starts_with("Noto");
}

// A subset as pdfium writes the fonts this program loads: Type0 →
// CIDFontType2 → descriptor → TrueType program. Its parts are the three
// dictionaries and what they refer to (the program, the ToUnicode map,
// widths); none is followed further.
void collectOwnSubsetParts(QPDFObjectHandle font, std::map<QPDFObjGen, QPDFObjectHandle>* parts) {
  if (!font.isIndirect() || !font.isDictionary() || !font.getKey("/Subtype").isNameAndEquals("/Type0") ||
      !isOwnSubsetName(font.getKey("/BaseFont")))
    return;
  QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
  if (!descendants.isArray() || descendants.getArrayNItems() != 1) return;
  QPDFObjectHandle cid = descendants.getArrayItem(0);
  if (!cid.isDictionary() || !cid.getKey("/Subtype").isNameAndEquals("/CIDFontType2")) return;
  QPDFObjectHandle descriptor = cid.getKey("/FontDescriptor");
  if (!descriptor.isDictionary() || !descriptor.getKey("/FontFile2").isStream()) return;
  for (QPDFObjectHandle dictionary : {font, cid, descriptor}) {
    if (dictionary.isIndirect()) parts->emplace(dictionary.getObjGen(), dictionary);
    eachReference(dictionary, [&](QPDFObjectHandle value) -> std::optional<QPDFObjectHandle> {
      parts->emplace(value.getObjGen(), value);
      return std::nullopt;
    });
  }
}

}  // namespace

bool mergeRepeatedFonts(const QByteArray& pdf, bool objectStreams, QByteArray* merged) {
  // pdfium writes dictionaries as they are, so the names of the program's
  // subsets show in the bytes.
  if (pdf.count("/FontFile2") < 2 || !(pdf.contains("+DejaVu") || pdf.contains("+Noto"))) return false;
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.setAttemptRecovery(false);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()));
    const std::vector<QPDFObjectHandle> objects = reader.getAllObjects();

    // Ordered by number: the first of equal parts is the one kept.
    std::map<QPDFObjGen, QPDFObjectHandle> parts;
    for (QPDFObjectHandle object : objects) collectOwnSubsetParts(object, &parts);
    std::map<QPDFObjGen, QPDFObjGen> mergedInto;
    Describer describer(parts, mergedInto);
    for (int pass = 0; pass < kMaxPasses; ++pass) {
      std::map<std::string, QPDFObjGen> first;
      bool mergedAny = false;
      for (const auto& [id, part] : parts) {
        if (mergedInto.count(id)) continue;
        const auto [it, added] = first.emplace(describer.of(part), id);
        if (!added) mergedInto.emplace(id, it->second);
        mergedAny = mergedAny || !added;
      }
      if (!mergedAny) break;
    }
    if (mergedInto.empty()) return false;

    const auto keptFor = [&](QPDFObjectHandle value) -> std::optional<QPDFObjectHandle> {
      QPDFObjGen id = value.getObjGen();
      if (!mergedInto.count(id)) return std::nullopt;
      while (mergedInto.count(id)) id = mergedInto.at(id);
      return parts.at(id);
    };
    for (QPDFObjectHandle object : objects) eachReference(object, keptFor);
    eachReference(reader.getTrailer(), keptFor);

    // Only what is still referred to is written: the merged copies go.
    return writeQpdfToMemory(reader, objectStreams, merged);
  } catch (const std::exception&) {
    return false;
  }
}

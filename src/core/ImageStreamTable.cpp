#include "ImageStreamTable.h"

#include <QCryptographicHash>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

namespace {

using ReferenceCounts = std::map<QPDFObjGen, int>;

// References to the streams of `counts` held in `value`, references not followed.
void countReferences(QPDFObjectHandle value, ReferenceCounts& counts, int depth) {
  // qpdf parses objects a few hundred levels deep at most.
  if (depth > 1000) throw std::runtime_error("objects nested too deeply");
  const auto visit = [&](QPDFObjectHandle item) {
    if (!item.isIndirect()) return countReferences(item, counts, depth + 1);
    const auto found = counts.find(item.getObjGen());
    if (found != counts.end()) ++found->second;
  };
  if (value.isStream()) value = value.getDict();
  if (value.isDictionary())
    for (const auto& entry : value.getDictAsMap()) visit(entry.second);
  else if (value.isArray())
    for (QPDFObjectHandle& item : value.getArrayAsVector()) visit(item);
}

// The same, from the XObject resources of `resources` and of the forms they
// list. `holder` is the object the resources live in: each is counted once
// however many pages share it.
void countDrawnReferences(QPDFObjectHandle resources, QPDFObjGen holder, ReferenceCounts& counts,
                          std::set<QPDFObjGen>& seen, int depth) {
  if (depth > kMaxImageFormDepth || !resources.isDictionary()) return;
  if (resources.isIndirect()) holder = resources.getObjGen();
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) return;
  if (xobjects.isIndirect()) holder = xobjects.getObjGen();
  if (!seen.insert(holder).second) return;
  for (const auto& entry : xobjects.getDictAsMap()) {
    QPDFObjectHandle item = entry.second;
    if (!item.isIndirect() || !item.isStream()) continue;
    const auto found = counts.find(item.getObjGen());
    if (found != counts.end())
      ++found->second;
    else if (item.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
      countDrawnReferences(item.getDict().getKey("/Resources"), item.getObjGen(), counts, seen, depth + 1);
  }
}

bool showsNothingThrough(QPDFObjectHandle dict) {
  QPDFObjectHandle stencil = dict.getKey("/ImageMask");
  QPDFObjectHandle ownMask = dict.getKey("/SMaskInData");
  return !(stencil.isBool() && stencil.getBoolValue()) && dict.getKey("/SMask").isNull() &&
         dict.getKey("/Mask").isNull() && (ownMask.isNull() || (ownMask.isInteger() && ownMask.getIntValue() == 0));
}

std::string dictionaryText(QPDFObjectHandle stream) {
  QPDFObjectHandle dict = stream.getDict().shallowCopy();
  dict.removeKey("/Length");
  return dict.unparse();
}

}  // namespace

QByteArray imageStreamKey(const QByteArray& raw) {
  return QCryptographicHash::hash(raw, QCryptographicHash::Sha1);
}

QHash<QByteArray, ImageStreamGroup> collectImageStreams(QPDF& pdf) {
  std::vector<QPDFObjectHandle> objects = pdf.getAllObjects();
  std::vector<QPDFObjectHandle> images;
  ReferenceCounts all;
  for (QPDFObjectHandle& object : objects)
    if (object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Image")) {
      images.push_back(object);
      all[object.getObjGen()] = 0;
    }
  ReferenceCounts drawn = all;
  for (QPDFObjectHandle& object : objects) countReferences(object, all, 0);
  std::set<QPDFObjGen> seen;
  for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
    // Resources a page inherits live in the page tree node that has them.
    QPDFObjectHandle node = page.getObjectHandle();
    for (int up = 0; up < 64 && node.isDictionary() && node.getKey("/Resources").isNull(); ++up)
      node = node.getKey("/Parent");
    if (node.isDictionary()) countDrawnReferences(node.getKey("/Resources"), node.getObjGen(), drawn, seen, 0);
  }

  QHash<QByteArray, ImageStreamGroup> groups;
  for (QPDFObjectHandle& image : images) {
    const std::shared_ptr<Buffer> raw = image.getRawStreamData();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(raw->getBuffer()),
                                                     qsizetype(raw->getSize()));
    ImageStreamGroup& group = groups[imageStreamKey(bytes)];
    const bool alike = group.streams.empty() || dictionaryText(group.streams.front()) == dictionaryText(image);
    group.replaceable = (group.streams.empty() || group.replaceable) && alike &&
                        showsNothingThrough(image.getDict()) && all[image.getObjGen()] == drawn[image.getObjGen()];
    group.rawSize = bytes.size();
    group.streams.push_back(image);
  }
  return groups;
}

void replaceWithJpeg(ImageStreamGroup& group, const QByteArray& jpeg, QSize size, bool grey) {
  const std::string data(jpeg.constData(), size_t(jpeg.size()));
  for (QPDFObjectHandle& stream : group.streams) {
    stream.replaceStreamData(data, QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());
    QPDFObjectHandle dict = stream.getDict();
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(size.width()));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(size.height()));
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
    dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(grey ? "/DeviceGray" : "/DeviceRGB"));
    // They were read against the old samples.
    dict.removeKey("/Decode");
    dict.removeKey("/SMaskInData");
  }
}

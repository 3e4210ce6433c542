#include "PdfSignatureStructure.h"
#include "CoreText.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QList>
#include <QPair>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

bool fail(QString* error, const QString& message) {
  if (error) *error = message;
  return false;
}

bool isPdfWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

QString damagedMessage(const QString& detail) {
  return coreText("PDF повреждён, встроенную подпись в такой файл добавить нельзя: %1").arg(detail);
}

QString firstWarning(QPDF& pdf) {
  const std::vector<QPDFExc> warnings = pdf.getWarnings();
  return warnings.empty() ? QString() : QString::fromStdString(warnings.front().what());
}

// A reader that never repairs: a file qpdf could only read by rebuilding its
// cross-reference data would need the same repair in every reader, and an
// update appended to it would not be found by them.
void openStrictly(QPDF& pdf, const QByteArray& bytes) {
  pdf.setSuppressWarnings(true);
  pdf.setAttemptRecovery(false);
  pdf.processMemoryFile("document.pdf", bytes.constData(), size_t(bytes.size()));
}

QByteArray reference(QPDFObjectHandle object) {
  return QByteArray::number(object.getObjectID()) + ' ' + QByteArray::number(object.getGeneration()) + " R";
}

// The dictionary's own text with some entries replaced or added; all others
// are carried over as they are.
QByteArray dictionaryText(QPDFObjectHandle dictionary, const QList<QPair<const char*, QByteArray>>& entries) {
  QPDFObjectHandle copy = dictionary.isDictionary() ? dictionary.shallowCopy() : QPDFObjectHandle::newDictionary();
  for (const auto& [key, value] : entries) copy.removeKey(key);
  QByteArray text = QByteArray::fromStdString(copy.unparse());
  text.chop(2);  // the closing ">>"
  if (!text.endsWith(' ')) text += ' ';
  for (const auto& [key, value] : entries) text += QByteArray(key) + ' ' + value + ' ';
  return text + ">>";
}

// The array's items followed by one more.
QByteArray arrayTextWith(QPDFObjectHandle array, const QByteArray& item) {
  QByteArray text = "[ ";
  if (array.isArray())
    for (QPDFObjectHandle element : array.getArrayAsVector()) text += QByteArray::fromStdString(element.unparse()) + ' ';
  return text + item + " ]";
}

QByteArray bufferBytes(const std::shared_ptr<Buffer>& buffer) {
  return buffer ? QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()))
                : QByteArray();
}

// An object's text between "obj" and "endobj"; a stream keeps its data as
// stored, with the /Length it really has.
QByteArray objectBody(QPDFObjectHandle object) {
  if (!object.isStream()) return QByteArray::fromStdString(object.unparseResolved());
  const QByteArray data = bufferBytes(object.getRawStreamData());
  QPDFObjectHandle dictionary = object.getDict().shallowCopy();
  dictionary.replaceKey("/Length", QPDFObjectHandle::newInteger(data.size()));
  return QByteArray::fromStdString(dictionary.unparse()) + "\nstream\n" + data + "\nendstream";
}

// The part of the page a reader shows: the crop box within the media box.
QPDFObjectHandle::Rectangle shownBox(QPDFPageObjectHelper& page) {
  const QPDFObjectHandle::Rectangle media = page.getMediaBox().getArrayAsRectangle();
  const QPDFObjectHandle::Rectangle crop = page.getCropBox().getArrayAsRectangle();
  const QPDFObjectHandle::Rectangle both(std::max(std::min(media.llx, media.urx), std::min(crop.llx, crop.urx)),
                                         std::max(std::min(media.lly, media.ury), std::min(crop.lly, crop.ury)),
                                         std::min(std::max(media.llx, media.urx), std::max(crop.llx, crop.urx)),
                                         std::min(std::max(media.lly, media.ury), std::max(crop.lly, crop.ury)));
  return both.urx > both.llx && both.ury > both.lly ? both : media;
}

struct CrossReference {
  qint64 offset = 0;
  bool stream = false;
};

// The last "startxref" and what it points at, read from the bytes as every
// reader begins.
bool readStartXref(const QByteArray& pdf, CrossReference* xref, QString* error) {
  const qsizetype startxref = pdf.lastIndexOf("startxref");
  if (startxref < 0) return fail(error, coreText("В PDF не найден startxref."));
  qsizetype i = startxref + 9;
  while (i < pdf.size() && isPdfWhiteSpace(pdf.at(i))) ++i;
  const qsizetype digits = i;
  while (i < pdf.size() && isDigit(pdf.at(i))) ++i;
  bool ok = false;
  xref->offset = pdf.mid(digits, i - digits).toLongLong(&ok);
  if (i == digits || !ok || xref->offset < 0 || xref->offset >= startxref)
    return fail(error, coreText("В PDF некорректный startxref."));
  qsizetype at = xref->offset;
  while (at < startxref && isPdfWhiteSpace(pdf.at(at))) ++at;
  if (pdf.mid(at, 4) == "xref") return true;
  if (!isDigit(pdf.at(at))) return fail(error, coreText("В PDF некорректный startxref."));
  xref->stream = true;
  return true;
}

}  // namespace

struct PdfSignatureStructure::Data {
  QPDF pdf;
  CrossReference xref;
  int nextNumber = 0;
  QByteArray trailerEntries;
  QPDFObjectHandle catalog;
  QPDFObjectHandle page;
  QPDFObjectHandle form;
  std::set<QString> fieldNames;

  bool readTrailer(QString* error);
  bool readCatalog(QString* error);
  void readEveryObject();
  bool certifiedWithoutChanges();
  void findWidgetPage();
  void readForm();
};

bool PdfSignatureStructure::Data::readTrailer(QString* error) {
  QPDFObjectHandle trailer = pdf.getTrailer();
  if (!trailer.isDictionary()) return fail(error, coreText("В PDF не найден trailer."));
  QPDFObjectHandle root = trailer.getKey("/Root");
  QPDFObjectHandle size = trailer.getKey("/Size");
  if (!root.isIndirect() || !size.isInteger() || size.getIntValue() <= 0 || size.getIntValue() > 0x7FFFFF00)
    return fail(error, coreText("В trailer PDF не найдены /Root или /Size."));
  catalog = root;
  long long highest = size.getIntValue() - 1;
  for (const auto& [objectGeneration, entry] : pdf.getXRefTable())
    highest = std::max<long long>(highest, objectGeneration.getObj());
  if (highest >= 0x7FFFFF00) return fail(error, coreText("В trailer PDF не найдены /Root или /Size."));
  nextNumber = int(highest + 1);

  // The new section replaces this trailer for readers; without /Info and
  // /ID the document would lose its properties and its identity.
  trailerEntries = "/Root " + reference(root);
  QPDFObjectHandle info = trailer.getKey("/Info");
  if (info.isIndirect()) trailerEntries += " /Info " + reference(info);
  else if (info.isDictionary()) trailerEntries += " /Info " + QByteArray::fromStdString(info.unparse());
  QPDFObjectHandle id = trailer.getKey("/ID");
  if (id.isArray()) trailerEntries += " /ID " + QByteArray::fromStdString(id.unparse());
  return true;
}

bool PdfSignatureStructure::Data::readCatalog(QString* error) {
  bool dictionary = false;
  bool broken = false;
  try {
    dictionary = catalog.isDictionary();
  } catch (const std::exception&) {
    broken = true;
  }
  if (dictionary && !pdf.anyWarnings()) return true;
  if (broken || pdf.anyWarnings() || catalog.isNull())
    return fail(error, coreText("Не найден объект каталога PDF %1 %2 obj.")
                           .arg(catalog.getObjectID())
                           .arg(catalog.getGeneration()));
  return fail(error, coreText("Каталог PDF не является словарём."));
}

// The first page of the page tree, found without letting qpdf mend the tree.
void PdfSignatureStructure::Data::findWidgetPage() {
  QPDFObjectHandle node = catalog.getKey("/Pages");
  std::set<QPDFObjGen> seen;
  while (node.isDictionary() && node.isIndirect() && seen.insert(node.getObjGen()).second) {
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (!kids.isArray()) {
      if (!node.getKey("/Type").isNameAndEquals("/Pages")) page = node;
      return;
    }
    QPDFObjectHandle next;
    for (QPDFObjectHandle kid : kids.getArrayAsVector()) {
      if (kid.isDictionary()) {
        next = kid;
        break;
      }
    }
    node = next;
  }
}

void PdfSignatureStructure::Data::readForm() {
  QPDFObjectHandle acroForm = catalog.getKey("/AcroForm");
  if (!acroForm.isDictionary()) return;
  form = acroForm;
  QPDFObjectHandle fields = form.getKey("/Fields");
  if (!fields.isArray()) return;
  for (QPDFObjectHandle field : fields.getArrayAsVector()) {
    if (!field.isDictionary()) continue;
    QPDFObjectHandle name = field.getKey("/T");
    if (name.isString()) fieldNames.insert(QString::fromStdString(name.getUTF8Value()));
  }
}

// A document certified with "no changes allowed" (/DocMDP with /P 1) loses
// its certification through any update, a new signature included.
bool PdfSignatureStructure::Data::certifiedWithoutChanges() {
  QPDFObjectHandle permissions = catalog.getKey("/Perms");
  QPDFObjectHandle certification =
      permissions.isDictionary() ? permissions.getKey("/DocMDP") : QPDFObjectHandle::newNull();
  QPDFObjectHandle references =
      certification.isDictionary() ? certification.getKey("/Reference") : QPDFObjectHandle::newNull();
  if (!references.isArray()) return false;
  for (QPDFObjectHandle reference : references.getArrayAsVector()) {
    if (!reference.isDictionary() || !reference.getKey("/TransformMethod").isNameAndEquals("/DocMDP")) continue;
    QPDFObjectHandle parameters = reference.getKey("/TransformParams");
    QPDFObjectHandle changes = parameters.isDictionary() ? parameters.getKey("/P") : QPDFObjectHandle::newNull();
    if (changes.isInteger() && changes.getIntValue() == 1) return true;
  }
  return false;
}

// Every object the cross-reference data lists must be where it says: readers
// that meet a wrong entry rebuild the cross-reference data from the bytes,
// and the signed update is then no longer what they read.
void PdfSignatureStructure::Data::readEveryObject() {
  for (const auto& [objectGeneration, entry] : pdf.getXRefTable()) pdf.getObject(objectGeneration).getTypeCode();
}

PdfSignatureStructure::PdfSignatureStructure() : d(std::make_unique<Data>()) {}
PdfSignatureStructure::~PdfSignatureStructure() = default;

bool PdfSignatureStructure::read(const QByteArray& pdf, QString* error) {
  if (!readStartXref(pdf, &d->xref, error)) return false;
  // Offsets count from the file's first byte only when the header is there.
  if (!pdf.startsWith("%PDF-"))
    return fail(error, damagedMessage(coreText("заголовок %PDF- не в начале файла")));
  try {
    openStrictly(d->pdf, pdf);
    if (d->pdf.isEncrypted())
      return fail(error, coreText("Зашифрованный PDF нельзя подписать встроенной подписью."));
    if (!d->readTrailer(error) || !d->readCatalog(error)) return false;
    d->findWidgetPage();
    d->readForm();
    d->readEveryObject();
    if (d->pdf.anyWarnings()) return fail(error, damagedMessage(firstWarning(d->pdf)));
    if (d->certifiedWithoutChanges())
      return fail(error, coreText("Документ заверен с запретом изменений; добавить в него подпись нельзя."));
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() == qpdf_e_password)
      return fail(error, coreText("Зашифрованный PDF нельзя подписать встроенной подписью."));
    return fail(error, damagedMessage(QString::fromStdString(e.what())));
  } catch (const std::exception& e) {
    return fail(error, damagedMessage(QString::fromStdString(e.what())));
  }
  return true;
}

bool PdfSignatureStructure::crossReferenceIsStream() const { return d->xref.stream; }
qint64 PdfSignatureStructure::previousCrossReference() const { return d->xref.offset; }
int PdfSignatureStructure::nextObjectNumber() const { return d->nextNumber; }
QByteArray PdfSignatureStructure::trailerEntries() const { return d->trailerEntries; }

QByteArray PdfSignatureStructure::widgetPageReference() const {
  return d->page.isInitialized() && d->page.isIndirect() ? reference(d->page) : QByteArray();
}

QString PdfSignatureStructure::unusedFieldName(const QString& wanted) const {
  QString name = wanted;
  for (int i = 2; d->fieldNames.count(name); ++i) name = wanted + QStringLiteral("_%1").arg(i);
  return name;
}

bool PdfSignatureStructure::objectsListingField(int fieldNumber, QList<PdfObjectVersion>* objects, QString* error) {
  const QByteArray field = QByteArray::number(fieldNumber) + " 0 R";
  std::map<QPDFObjGen, QByteArray> versions;
  bool clash = false;
  auto addVersion = [&](QPDFObjectHandle object, const QByteArray& body) {
    clash = clash || !versions.emplace(object.getObjGen(), body).second;
  };
  try {
    // The form: /Fields gains the field, /SigFlags says the file is signed
    // and may only be appended to.
    QList<QPair<const char*, QByteArray>> formEntries;
    QPDFObjectHandle fields = d->form.isInitialized() ? d->form.getKey("/Fields") : QPDFObjectHandle::newNull();
    if (fields.isArray() && fields.isIndirect()) addVersion(fields, arrayTextWith(fields, field));
    else formEntries.append({"/Fields", arrayTextWith(fields, field)});
    QPDFObjectHandle flags = d->form.isInitialized() ? d->form.getKey("/SigFlags") : QPDFObjectHandle::newNull();
    const long long oldFlags = flags.isInteger() ? flags.getIntValue() : 0;
    if ((oldFlags & 3) != 3 || !flags.isInteger()) formEntries.append({"/SigFlags", QByteArray::number(oldFlags | 3)});
    if (!formEntries.isEmpty()) {
      const QByteArray formText = dictionaryText(d->form, formEntries);
      if (d->form.isInitialized() && d->form.isIndirect()) addVersion(d->form, formText);
      else addVersion(d->catalog, dictionaryText(d->catalog, {{"/AcroForm", formText}}));
    }
    // The page shows the widget through /Annots.
    if (d->page.isInitialized()) {
      QPDFObjectHandle annots = d->page.getKey("/Annots");
      if (annots.isArray() && annots.isIndirect()) addVersion(annots, arrayTextWith(annots, field));
      else addVersion(d->page, dictionaryText(d->page, {{"/Annots", arrayTextWith(annots, field)}}));
    }
    if (d->pdf.anyWarnings()) return fail(error, damagedMessage(firstWarning(d->pdf)));
  } catch (const std::exception& e) {
    return fail(error, damagedMessage(QString::fromStdString(e.what())));
  }
  // One object serving two of these roles cannot take both changes.
  if (clash) return fail(error, damagedMessage(coreText("форма и страница делят один объект")));
  for (const auto& [objectGeneration, body] : versions)
    objects->append({objectGeneration.getObj(), objectGeneration.getGen(), body});
  return true;
}

bool preparedSignatureReadsBack(const QByteArray& pdf, int signatureNumber, int fieldNumber, QString* error) {
  const QString failed = coreText("Подготовленный к подписи PDF не читается: %1");
  try {
    QPDF reader;
    openStrictly(reader, pdf);
    QPDFObjectHandle catalog = reader.getTrailer().getKey("/Root");
    QPDFObjectHandle form = catalog.isDictionary() ? catalog.getKey("/AcroForm") : QPDFObjectHandle::newNull();
    QPDFObjectHandle fields = form.isDictionary() ? form.getKey("/Fields") : QPDFObjectHandle::newNull();
    bool listed = false;
    if (fields.isArray())
      for (QPDFObjectHandle item : fields.getArrayAsVector()) listed = listed || item.getObjectID() == fieldNumber;
    QPDFObjectHandle field = reader.getObject(fieldNumber, 0);
    QPDFObjectHandle value = field.isDictionary() ? field.getKey("/V") : QPDFObjectHandle::newNull();
    const bool signature = value.getObjectID() == signatureNumber && value.isDictionary() &&
                           value.getKey("/Type").isNameAndEquals("/Sig");
    if (reader.anyWarnings()) return fail(error, failed.arg(firstWarning(reader)));
    if (!listed || !signature) return fail(error, failed.arg(coreText("поле подписи не найдено")));
  } catch (const std::exception& e) {
    return fail(error, failed.arg(QString::fromStdString(e.what())));
  }
  return true;
}

bool PdfSignatureStructure::objectsOverlayingPage(int pageIndex, const QByteArray& overlayPdf,
                                                  QList<PdfObjectVersion>* objects, int* size, QString* error) {
  const QString failed = coreText("Не удалось дописать страницу к PDF: %1");
  try {
    QPDF overlay;
    overlay.setSuppressWarnings(true);
    overlay.processMemoryFile("overlay.pdf", overlayPdf.constData(), size_t(overlayPdf.size()));
    const std::vector<QPDFObjectHandle> overlayPages = overlay.getAllPages();
    const std::vector<QPDFObjectHandle> pages = d->pdf.getAllPages();
    if (overlayPages.size() != 1 || pageIndex < 0 || size_t(pageIndex) >= pages.size() ||
        !pages[size_t(pageIndex)].isIndirect())
      return fail(error, failed.arg(coreText("страница не найдена")));
    QPDFObjectHandle page = pages[size_t(pageIndex)];
    QPDFPageObjectHelper target(page);

    // qpdf numbers new objects past the highest it has seen; the numbers up
    // to the trailer's /Size are the file's own and are left alone.
    int reserved = d->pdf.makeIndirectObject(QPDFObjectHandle::newNull()).getObjectID();
    for (int guard = 0; reserved < d->nextNumber - 1; ++guard) {
      if (guard > 100000) return fail(error, failed.arg(coreText("слишком много свободных номеров объектов")));
      reserved = d->pdf.makeIndirectObject(QPDFObjectHandle::newNull()).getObjectID();
    }
    const int firstNew = reserved + 1;

    // The overlay page becomes a form with its own resources.
    QPDFPageObjectHelper overlayPage(overlayPages.front());
    Pl_Buffer content("overlay content");
    overlayPage.pipeContents(&content);
    QPDFObjectHandle form = QPDFObjectHandle::newStream(&overlay, bufferBytes(content.getBufferSharedPointer()).toStdString());
    QPDFObjectHandle formDictionary = form.getDict();
    formDictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    formDictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    formDictionary.replaceKey("/BBox", overlayPage.getMediaBox().shallowCopy());
    QPDFObjectHandle overlayResources = overlayPage.getAttribute("/Resources", false);
    if (overlayResources.isDictionary()) formDictionary.replaceKey("/Resources", overlayResources.shallowCopy());
    QPDFObjectHandle copied = d->pdf.copyForeignObject(form);

    QPDFObjectHandle resources = target.getAttribute("/Resources", false);
    QPDFObjectHandle xobjects = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull();
    std::string name = "/UlvoOverlay";
    for (int i = 2; xobjects.isDictionary() && xobjects.hasKey(name); ++i) name = "/UlvoOverlay" + std::to_string(i);
    const std::string drawing = target.placeFormXObject(copied, name, shownBox(target), true, true, true);

    // The page's own content runs in a saved state of its own, so that a
    // change it leaves behind does not move the overlay.
    QPDFObjectHandle opening = QPDFObjectHandle::newStream(&d->pdf, "q\n");
    QPDFObjectHandle closing = QPDFObjectHandle::newStream(&d->pdf, "Q\n" + drawing);
    QByteArray contents = "[ " + reference(opening) + ' ';
    QPDFObjectHandle old = page.getKey("/Contents");
    if (old.isArray())
      for (QPDFObjectHandle item : old.getArrayAsVector()) contents += QByteArray::fromStdString(item.unparse()) + ' ';
    else if (old.isStream())
      contents += QByteArray::fromStdString(old.unparse()) + ' ';
    contents += reference(closing) + " ]";
    const QByteArray xobjectText = dictionaryText(xobjects, {{name.c_str(), reference(copied)}});
    const QByteArray pageText =
        dictionaryText(page, {{"/Contents", contents}, {"/Resources", dictionaryText(resources, {{"/XObject", xobjectText}})}});

    // Every object new to the file, reached from what the page now names.
    std::map<QPDFObjGen, QPDFObjectHandle> fresh;
    std::function<void(QPDFObjectHandle)> collect = [&](QPDFObjectHandle object) {
      if (object.isIndirect() && (object.getObjectID() < firstNew || !fresh.emplace(object.getObjGen(), object).second))
        return;
      if (object.isStream()) {
        collect(object.getDict());
      } else if (object.isDictionary()) {
        for (const std::string& key : object.getKeys()) collect(object.getKey(key));
      } else if (object.isArray()) {
        for (QPDFObjectHandle item : object.getArrayAsVector()) collect(item);
      }
    };
    for (QPDFObjectHandle root : {copied, opening, closing}) collect(root);
    int highest = page.getObjectID();
    for (const auto& [objectGeneration, object] : fresh) {
      objects->append({objectGeneration.getObj(), objectGeneration.getGen(), objectBody(object)});
      highest = std::max(highest, objectGeneration.getObj());
    }
    objects->append({page.getObjectID(), page.getGeneration(), pageText});
    *size = std::max(highest + 1, d->nextNumber);
    if (d->pdf.anyWarnings()) return fail(error, failed.arg(firstWarning(d->pdf)));
  } catch (const std::exception& e) {
    return fail(error, failed.arg(QString::fromStdString(e.what())));
  }
  return true;
}

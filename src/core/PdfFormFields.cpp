#include "PdfFormFields.h"

#include "CoreText.h"
#include "PageContentBounds.h"

#include "PdfiumHandles.h"
#include "PdfiumLock.h"

#include <QString>
#include <QStringList>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace {

// Far more fields than any real form has, far fewer than a tree of repeated
// kids gives pdfium to walk.
constexpr size_t kMostFieldsWalked = 100000;
constexpr int kDeepestField = 64;
// pdfium finds each named field among its named siblings one by one: a
// parent of n named kids costs it about n * n / 2 comparisons, a second for
// some 7,000 kids of one parent and minutes for 60,000.
constexpr double kMostSiblingComparisons = 25e6;

// pdfium files each terminal field under its full name, a level for each
// part between dots; a parent without /T adds no level, so the kids of
// many nameless parents are siblings of one another.
class FieldNameTree {
public:
  // False once the names filed have cost more comparisons than the bound.
  bool file(const QString& fullName) {
    int node = 0;
    for (const QString& part : fullName.split(u'.')) {
      comparisons += double(kidCount[size_t(node)]);
      const auto [kid, added] = kids.try_emplace({node, part}, int(kidCount.size()));
      if (added) {
        ++kidCount[size_t(node)];
        kidCount.push_back(0);
      }
      node = kid->second;
    }
    return comparisons <= kMostSiblingComparisons;
  }

private:
  std::vector<int> kidCount{0};
  std::map<std::pair<int, QString>, int> kids;
  double comparisons = 0;
};

// The name pdfium gives a field: the /T of it and of each parent above it,
// joined by dots. Nothing when the parents go deeper than any field drawn.
std::optional<QString> fullFieldName(QPDFObjectHandle field) {
  QString name;
  std::set<QPDFObjGen> seen;
  for (int depth = 0; field.isDictionary(); ++depth, field = field.getKey("/Parent")) {
    if (depth > kDeepestField) return std::nullopt;
    if (field.isIndirect() && !seen.insert(field.getObjGen()).second) break;
    QPDFObjectHandle own = field.getKey("/T");
    const QString part = own.isString() ? QString::fromStdString(own.getUTF8Value()) : QString();
    if (!part.isEmpty()) name = name.isEmpty() ? part : part + u'.' + name;
  }
  return name;
}

}  // namespace

bool formFieldTreeWithinBounds(const QByteArray& pdf, const QByteArray& password) {
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()),
                             password.isEmpty() ? nullptr : password.constData());
    std::vector<std::pair<QPDFObjectHandle, int>> pending{{reader.getRoot().getKey("/AcroForm").getKey("/Fields"), 0}};
    size_t walked = 0;
    FieldNameTree names;
    while (!pending.empty()) {
      auto [node, depth] = pending.back();
      pending.pop_back();
      QPDFObjectHandle kids = node.isArray() ? node : (node.isDictionary() ? node.getKey("/Kids") : node);
      if (kids.isArray() && (depth > kDeepestField || (walked += size_t(kids.getArrayNItems())) > kMostFieldsWalked))
        return false;
      // As pdfium reads it, a field is terminal when it has no kids or when
      // its first kid is a widget (neither named nor a parent).
      QPDFObjectHandle first = kids.isArray() ? kids.getArrayItem(0) : QPDFObjectHandle::newNull();
      if (node.isDictionary() && (!kids.isArray() || (first.isDictionary() && !first.hasKey("/T") &&
                                                      !first.hasKey("/Kids")))) {
        const std::optional<QString> name = fullFieldName(node);
        if (!name || (!name->isEmpty() && !names.file(*name))) return false;
        continue;
      }
      if (!kids.isArray()) continue;
      for (int i = 0; i < kids.getArrayNItems(); ++i) pending.emplace_back(kids.getArrayItem(i), depth + 1);
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

PdfFormFields::PdfFormFields(FPDF_DOCUMENT document) {
  PdfiumLock::assertHeld();
  if (!document) return;
  // A library built without XFA takes version 1 only, one built with it 2 only.
  for (int version : {1, 2}) {
    info.version = version;
    info.xfaDisabled = 1;
    form = FPDFDOC_InitFormFillEnvironment(document, &info);
    if (form) break;
  }
  // Fields are shown as the file has them, never tinted as fillable.
  if (form) FPDF_SetFormFieldHighlightAlpha(form, 0);
}

PdfFormFields::~PdfFormFields() {
  if (!form) return;
  PdfiumLock::assertHeld();
  FPDFDOC_ExitFormFillEnvironment(form);
}

bool formWithinBounds(FPDF_DOCUMENT doc, const QByteArray& pdf, const QByteArray& password) {
  return FPDF_GetFormType(doc) == FORMTYPE_NONE || formFieldTreeWithinBounds(pdf, password);
}

namespace {

// The keys a widget takes from the fields above it.
constexpr const char* kInheritedKeys[] = {"/FT", "/Ff", "/V", "/DV", "/DA", "/Q", "/Opt", "/MaxLen"};
// A value at most this long is copied into each widget; a longer one is
// shared by them all through one object.
constexpr size_t kLongestCopiedValue = 256;

// What the copied widgets take on, counted before any of it is written: each
// widget's full name, each value once, and the fields walked to find them.
class InheritedBudget {
public:
  // The bytes of `field`'s full name (its /T and its parents', with the dots
  // between), each field measured once and counted among those walked;
  // nothing deeper than any field drawn.
  std::optional<size_t> nameBytes(QPDFObjectHandle field, int depth = 0) {
    if (!field.isDictionary()) return size_t(0);
    if (depth > kDeepestField || (walked += 1) > kMostFieldsWalked) return std::nullopt;
    const bool indirect = field.isIndirect();
    if (indirect)
      if (const auto known = names.find(field.getObjGen()); known != names.end()) return known->second;
    // A loop of parents ends where it began, as fullFieldName ends it.
    if (indirect) names[field.getObjGen()] = 0;
    const std::optional<size_t> above = nameBytes(field.getKey("/Parent"), depth + 1);
    if (!above) return std::nullopt;
    QPDFObjectHandle own = field.getKey("/T");
    const size_t part = own.isString() ? own.getStringValue().size() : 0;
    const size_t bytes = part == 0 ? *above : part + (*above > 0 ? 1 + *above : 0);
    if (indirect) names[field.getObjGen()] = bytes;
    return bytes;
  }

  bool take(size_t bytes) { return (taken += bytes) <= kMostInheritedBytes; }
  // One more widget: no more of them than fields in a tree within its bound.
  bool widget() { return ++widgets <= kMostFieldsWalked; }

private:
  std::map<QPDFObjGen, size_t> names;
  size_t walked = 0;  // fields measured, each once
  size_t widgets = 0;
  size_t taken = 0;
};

// The widget dictionaries of `pages` (qpdf's order, which is pdfium's), each once.
std::vector<QPDFObjectHandle> widgetsOfPages(QPDF& reader, const std::vector<int>& pages) {
  const std::vector<QPDFObjectHandle> all = reader.getAllPages();
  std::vector<QPDFObjectHandle> chosen;
  if (pages.empty()) {
    chosen = all;
  } else {
    for (int index : pages)
      if (index >= 0 && size_t(index) < all.size()) chosen.push_back(all[size_t(index)]);
  }
  std::vector<QPDFObjectHandle> widgets;
  std::set<QPDFObjGen> seen;
  for (QPDFObjectHandle page : chosen) {
    QPDFObjectHandle annotations = page.getKey("/Annots");
    for (int i = 0; annotations.isArray() && i < annotations.getArrayNItems(); ++i) {
      QPDFObjectHandle widget = annotations.getArrayItem(i);
      if (!widget.isDictionary() || !widget.hasKey("/Parent") || !widget.getKey("/Subtype").isNameAndEquals("/Widget"))
        continue;
      if (widget.isIndirect() && !seen.insert(widget.getObjGen()).second) continue;
      widgets.push_back(widget);
    }
  }
  return widgets;
}

}  // namespace

std::optional<QByteArray> widgetsWithoutParents(const QByteArray& pdf, const QByteArray& password,
                                                const std::vector<int>& pages, QString* refusal) {
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()),
                             password.isEmpty() ? nullptr : password.constData());
    const std::vector<QPDFObjectHandle> widgets = widgetsOfPages(reader, pages);
    if (widgets.empty()) return QByteArray();
    // Counted as they are taken (a refusal throws the copy away): names are
    // copied into every widget, a long value is shared and counted once.
    InheritedBudget budget;
    std::map<QPDFObjGen, std::optional<QString>> parentNames;  // widgets of one field share its name
    const auto overBudget = [&] {
      if (refusal)
        *refusal = coreText("Поля формы на странице слишком велики для копии: имена и значения, которые "
                            "наследуют её виджеты, заняли бы больше %1 МБ.")
                       .arg(kMostInheritedBytes >> 20);
      return std::nullopt;
    };
    for (QPDFObjectHandle widget : widgets) {
      QPDFObjectHandle own = widget.getKey("/T");
      const std::optional<size_t> above = budget.widget() ? budget.nameBytes(widget.getKey("/Parent")) : std::nullopt;
      if (!above || !budget.take(*above + 1 + (own.isString() ? own.getStringValue().size() : 0))) return overBudget();
      QPDFObjectHandle field = widget.getKey("/Parent");
      for (int depth = 0; field.isDictionary() && depth <= kDeepestField; ++depth, field = field.getKey("/Parent")) {
        for (const char* key : kInheritedKeys) {
          if (widget.hasKey(key) || !field.hasKey(key)) continue;
          QPDFObjectHandle value = field.getKey(key);
          if (!value.isIndirect()) {
            const size_t bytes = value.isString() ? value.getStringValue().size() : value.unparse().size();
            if (bytes > kLongestCopiedValue) {
              // Shared from here on: the field's value becomes one object,
              // which the next widgets take as it stands.
              if (!budget.take(bytes)) return overBudget();
              value = reader.makeIndirectObject(value);
              field.replaceKey(key, value);
            } else if (!budget.take(bytes)) {
              return overBudget();
            }
          }
          widget.replaceKey(key, value);
        }
      }
      QPDFObjectHandle parent = widget.getKey("/Parent");
      std::optional<QString> full;
      if (parent.isIndirect()) {
        const auto known = parentNames.try_emplace(parent.getObjGen());
        if (known.second) known.first->second = fullFieldName(parent);
        full = known.first->second;
      } else {
        full = fullFieldName(parent);
      }
      if (const QString part = own.isString() ? QString::fromStdString(own.getUTF8Value()) : QString();
          full && !part.isEmpty())
        full = full->isEmpty() ? part : *full + u'.' + part;
      if (full && !full->isEmpty()) widget.replaceKey("/T", QPDFObjectHandle::newUnicodeString(full->toStdString()));
      widget.removeKey("/Parent");
    }
    QPDFWriter writer(reader);
    writer.setOutputMemory();
    writer.setPreserveEncryption(false);
    writer.setLinearization(false);
    writer.write();
    const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    if (!buffer || buffer->getSize() == 0) return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool pageHasWidgets(FPDF_PAGE page) {
  for (int i = 0, count = FPDFPage_GetAnnotCount(page); i < count; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(page, i));
    if (annotation && FPDFAnnot_GetSubtype(annotation.get()) == FPDF_ANNOT_WIDGET) return true;
  }
  return false;
}

namespace {

// The form environment draws a widget only when it or a field above it has
// a name or a field type.
bool heldByAField(FPDF_ANNOTATION widget) {
  pdfium::Annotation above;
  for (int depth = 0; widget && depth <= kDeepestField; ++depth) {
    if (FPDFAnnot_HasKey(widget, "T") || FPDFAnnot_HasKey(widget, "FT")) return true;
    above.reset(FPDFAnnot_GetLinkedAnnot(widget, "Parent"));
    widget = above.get();
  }
  return widget != nullptr;  // deeper than any field drawn: not drawn here either
}

bool isUnheldWidget(FPDF_ANNOTATION annotation) {
  // The appearance is read last: pdfium decodes it whole to say it is there.
  return FPDFAnnot_GetSubtype(annotation) == FPDF_ANNOT_WIDGET && !heldByAField(annotation) &&
         FPDFAnnot_GetAP(annotation, FPDF_ANNOT_APPEARANCEMODE_NORMAL, nullptr, 0) > 2;
}

}  // namespace

FieldsLaidOut::FieldsLaidOut(FPDF_PAGE page, FPDF_FORMHANDLE form, FPDF_DOCUMENT doc, int index)
    : page(page), form(nullptr) {
  // A page without widgets costs its drawing no page view. Fields whose file
  // asks for new appearances (NeedAppearances) get them here.
  if ((!form && !doc) || !pageHasWidgets(page)) return;
  this->form = form;
  if (form) FORM_OnAfterLoadPage(page, form);
  if (!doc || index < 0) return;
  bool unheld = false;
  for (int i = 0, count = FPDFPage_GetAnnotCount(page); i < count && !unheld; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(page, i));
    unheld = annotation && isUnheldWidget(annotation.get());
  }
  if (!unheld) return;
  // The copy keeps only those widgets, flattened into content of their own:
  // the page's own content is emptied so nothing is drawn twice.
  unheldCopy.reset(FPDF_CreateNewDocument());
  if (!unheldCopy || !FPDF_ImportPagesByIndex(unheldCopy.get(), doc, &index, 1, 0)) return;
  pdfium::Page copy(FPDF_LoadPage(unheldCopy.get(), 0));
  if (!copy) return;
  for (int i = FPDFPage_CountObjects(copy.get()) - 1; i >= 0; --i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(copy.get(), i);
    if (object && FPDFPage_RemoveObject(copy.get(), object)) FPDFPageObj_Destroy(object);
  }
  for (int i = FPDFPage_GetAnnotCount(copy.get()) - 1; i >= 0; --i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(copy.get(), i));
    const bool keep = annotation && isUnheldWidget(annotation.get());
    annotation.reset();
    if (!keep) FPDFPage_RemoveAnnot(copy.get(), i);
  }
  if (!FPDFPage_GenerateContent(copy.get())) return;
  const int flattened = FPDFPage_Flatten(copy.get(), FLAT_NORMALDISPLAY);
  copy.reset();
  if (flattened == 1) unheldPage.reset(FPDF_LoadPage(unheldCopy.get(), 0));
}

FieldsLaidOut::~FieldsLaidOut() {
  if (form) FORM_OnBeforeClosePage(page, form);
}

void drawPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, const FieldsLaidOut& fields, int x, int y, int width,
                        int height, int rotate) {
  constexpr int flags = FPDF_ANNOT | FPDF_LCD_TEXT;
  FPDF_RenderPageBitmap(bitmap, page, -x, -y, width, height, rotate, flags);
  if (fields.handle()) FPDF_FFLDraw(fields.handle(), bitmap, page, -x, -y, width, height, rotate, flags);
  if (fields.unheldWidgets())
    FPDF_RenderPageBitmap(bitmap, fields.unheldWidgets(), -x, -y, width, height, rotate, flags);
}

void renderPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, FPDF_FORMHANDLE form, int width, int height,
                          int rotate) {
  const FieldsLaidOut fields(page, form);
  drawPageWithFields(bitmap, page, fields, 0, 0, width, height, rotate);
}

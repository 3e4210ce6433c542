#pragma once
// Reads and drives the page view's private block-overlay state, which the
// main window only reaches through signals and the read-back.

#include "view/BlockEditorFrame.h"
#include "view/PdfView.h"
#include "view/RotatedTextEdit.h"

#include <QStringList>

struct PdfViewTestAccess {
  static const std::vector<TextBlock>& blocks(const PdfView& v) { return v.ocrBlocks; }
  static std::vector<TextBlock>& mutableBlocks(PdfView& v) { return v.ocrBlocks; }
  static const std::vector<int>& groupIds(const PdfView& v) { return v.ocrBlockGroupIds; }
  static std::vector<int>& mutableGroupIds(PdfView& v) { return v.ocrBlockGroupIds; }
  static QSet<int>& selection(PdfView& v) { return v.selectedOcrBlocks; }
  static int& nextGroupId(PdfView& v) { return v.nextOcrGroupId; }
  static int page(const PdfView& v) { return v.ocrBlocksPage; }
  static int active(const PdfView& v) { return v.activeOcrBlock; }
  static bool dirty(const PdfView& v) { return v.ocrBlocksDirty; }
  static BlockEditorFrame* frame(const PdfView& v) { return v.blockEditorFrame; }
  static void push(PdfView& v, const QString& label) { v.pushUndoSnapshot(label, true); }
  static void captureEditor(PdfView& v, const QString& label) { v.captureActiveEditorUndoIfNeeded(label, true); }
  static QStringList undoLabels(const PdfView& v) {
    QStringList labels;
    for (const auto& s : v.undoStack) labels.append(s.label);
    return labels;
  }
  static QStringList redoLabels(const PdfView& v) {
    QStringList labels;
    for (const auto& s : v.redoStack) labels.append(s.label);
    return labels;
  }
  static BlockTextRenderer& renderer(PdfView& v) { return v.blockTextRenderer; }
  static int overlayPatchBuilds(const PdfView& v) { return v.overlayPatchBuilds; }
  static void setOverlayCaching(PdfView& v, bool on) { v.overlayCachingEnabled = on; }
};

// The selection's cached lines of page text.
struct PdfViewSelectionAccess {
  static int cachedPage(const PdfView& v) { return v.selectableLineCache.page; }
  static void addCachedLine(PdfView& v, const QString& text, const QRectF& rect) {
    v.selectableLineCache.lines.append(PdfView::SelectableLine{text, rect, 12.0f, rect, QTransform(), 0.0, {}});
  }
};

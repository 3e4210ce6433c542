// The small floating editor opened over an area drawn with the insert-text
// tool; its text goes to the main window as a new block.
#include "PdfView.h"

#include "core/EditedLineFit.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

void PdfView::showInlineEditor(int page, QRectF area) {
  hideInlineEditor();
  inlinePage = page;
  inlineArea = area;

  const QPoint origin = pageOffset(page);
  int x = origin.x() - horizontalScrollBar()->value() + static_cast<int>(area.x() * zoom);
  int y = origin.y() - verticalScrollBar()->value() + static_cast<int>(area.y() * zoom);
  const int w = std::max(static_cast<int>(area.width() * zoom), 220);
  const int h = std::max(static_cast<int>(area.height() * zoom), 70);
  const int vw = viewport()->width();
  const int vh = viewport()->height();
  x = vw - w - 2 > 2 ? std::clamp(x, 2, vw - w - 2) : 2;
  y = vh - h - 30 > 2 ? std::clamp(y, 2, vh - h - 30) : 2;

  inlineFrame = new QFrame(viewport());
  inlineFrame->setObjectName(QStringLiteral("InlineEditorFrame"));
  inlineFrame->setGeometry(x, y, w, h + 28);
  auto* column = new QVBoxLayout(inlineFrame);
  column->setContentsMargins(2, 2, 2, 2);
  column->setSpacing(2);
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  auto* confirm = new QPushButton(QStringLiteral("Вставить"), inlineFrame);
  confirm->setObjectName(QStringLiteral("InlineEditorConfirm"));
  auto* cancel = new QPushButton(QStringLiteral("✕"), inlineFrame);
  cancel->setObjectName(QStringLiteral("InlineEditorCancel"));
  cancel->setFixedWidth(26);
  row->addWidget(confirm, 1);
  row->addWidget(cancel, 0);
  column->addLayout(row);
  inlineTextEdit = new QTextEdit(inlineFrame);
  inlineTextEdit->setObjectName(QStringLiteral("InlineTextEditor"));
  inlineTextEdit->setPlaceholderText(QStringLiteral("Введите текст…"));
  inlineTextEdit->setAcceptRichText(false);
  // Typed in the face, at the size and in the width the new block is written
  // with, and laid out unhinted as the page is, so that its lines break where
  // the page's will.
  inlineTextEdit->document()->setDocumentMargin(0);
  inlineTextEdit->document()->setUseDesignMetrics(true);
  inlineTextEdit->setLineWrapMode(QTextEdit::FixedPixelWidth);
  inlineTextEdit->setLineWrapColumnOrWidth(
      std::max(1, static_cast<int>(std::lround(wrappedRichTextWidth(area.width()) * zoom))));
  // A new block starts at the interface font's size, until the ribbon changes it.
  const double points = inlineTextEdit->font().pointSizeF() > 0 ? inlineTextEdit->font().pointSizeF() : 12.0;
  QFont face(kWrittenTextFamily);
  face.setPixelSize(std::max(1, static_cast<int>(std::lround(points * zoom))));
  inlineTextEdit->setFont(face);
  column->addWidget(inlineTextEdit, 1);
  inlineTextEdit->installEventFilter(this);
  connect(confirm, &QPushButton::clicked, this, &PdfView::commitInlineEditor);
  connect(cancel, &QPushButton::clicked, this, &PdfView::hideInlineEditor);

  inlineTextEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(inlineTextEdit->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
          &PdfView::fitInlineEditor);

  inlineFrame->show();
  inlineFrame->raise();
  fitInlineEditor();
  inlineTextEdit->setFocus(Qt::OtherFocusReason);
  connectActiveTextEditorSignals(inlineTextEdit);
  emitActiveTextFormat();
}

void PdfView::fitInlineEditor() {
  if (!inlineFrame || !inlineTextEdit) return;
  // Wide enough for the lines as they wrap on the page, with the cursor
  // beside the longest; tall enough for every line, up to the view's height,
  // where the box scrolls rather than leave the screen.
  inlineFrame->layout()->activate();
  const int chrome = 2 * inlineTextEdit->frameWidth();
  const int aroundEditor = inlineFrame->height() - inlineTextEdit->height();
  const int lines = static_cast<int>(std::ceil(inlineTextEdit->document()->size().height())) + chrome;
  const int least = std::max(static_cast<int>(inlineArea.height() * zoom), 70) + 28;
  const int wanted = std::max(least, lines + aroundEditor);
  const int vw = viewport()->width();
  const int vh = viewport()->height();
  const int height = std::min(wanted, std::max(vh - 4, aroundEditor + 40));
  const bool scrolls = height < wanted;
  inlineTextEdit->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  const QMargins margins = inlineFrame->layout()->contentsMargins();
  const int bar = scrolls ? inlineTextEdit->verticalScrollBar()->sizeHint().width() : 0;
  const int width = std::max({220, static_cast<int>(inlineArea.width() * zoom),
                              inlineTextEdit->lineWrapColumnOrWidth() + chrome + bar + 2 + margins.left() + margins.right()});
  const int x = std::clamp(inlineFrame->x(), 2, std::max(2, vw - width - 2));
  const int y = std::clamp(inlineFrame->y(), 2, std::max(2, vh - height - 2));
  inlineFrame->setGeometry(x, y, width, height);
}

void PdfView::hideInlineEditor() {
  if (!inlineFrame) return;
  const bool hadEditor = inlineTextEdit != nullptr;
  if (inlineTextEdit) inlineTextEdit->removeEventFilter(this);
  inlineFrame->hide();
  inlineFrame->deleteLater();
  inlineFrame = nullptr;
  inlineTextEdit = nullptr;
  inlinePage = -1;
  inlineArea = QRectF();
  if (hadEditor) emit activeTextEditorAvailable(activeTextEditor() != nullptr);
}

void PdfView::commitInlineEditor() {
  if (!inlineTextEdit || inlinePage < 0) return;
  const QString text = inlineTextEdit->toPlainText().trimmed();
  const int page = inlinePage;
  const QRectF area = inlineArea;
  hideInlineEditor();
  if (!text.isEmpty()) emit textInserted(page, area, text);
}

bool PdfView::eventFilter(QObject* watched, QEvent* event) {
  if (handleActiveEditorEvent(watched, event)) return true;
  if (inlineTextEdit && watched == inlineTextEdit && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      hideInlineEditor();
      return true;
    }
    if (key->key() == Qt::Key_Return && (key->modifiers() & Qt::ControlModifier)) {
      commitInlineEditor();
      return true;
    }
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

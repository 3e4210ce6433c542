#include "TextTool.h"

#include "CanvasWidget.h"
#include "Document.h"

#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>

#include <algorithm>

void TextTool::mousePress(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  if (!document->activeLayer()) return;
  bool ok = false;
  const QString text = QInputDialog::getText(canvas, QStringLiteral("Добавить текст"), QStringLiteral("Текст:"),
                                             QLineEdit::Normal, QString(), &ok);
  if (!ok || text.isEmpty()) return;
  // The dialog ran its own event loop: the document may have gone meanwhile.
  if (canvas->document != document || !document->activeLayer() || canvas->hasPendingShape()) return;
  QFont font(fontFamily.isEmpty() ? QFont().family() : fontFamily);
  font.setPixelSize(std::max(2 * size, 8));
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  font.setStyle(italic ? QFont::StyleItalic : QFont::StyleNormal);
  const QRect measured = QFontMetrics(font).boundingRect(QRect(0, 0, 4096, 4096), Qt::AlignLeft | Qt::AlignTop, text);
  PendingShape shape;
  shape.kind = PendingShape::Text;
  shape.rect = QRectF(QPointF(point), QSizeF(std::max(measured.width() + 4, 10), std::max(measured.height() + 4, 10)));
  shape.color = primary;
  shape.text = text;
  shape.font = font;
  shape.before = document->activeLayer()->image.copy();
  shape.layerIndex = document->activeIndex;
  canvas->setPendingShape(shape);
}

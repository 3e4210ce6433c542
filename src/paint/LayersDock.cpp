#include "LayersDock.h"

#include "Document.h"
#include "MergeCommand.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QImage checkerboard() {
  QImage board(48, 36, QImage::Format_ARGB32);
  for (int y = 0; y < 36; ++y)
    for (int x = 0; x < 48; ++x) board.setPixel(x, y, ((x / 4) + (y / 4)) % 2 ? 0xFFFFFFFFu : 0xFFCCCCCCu);
  return board;
}

}  // namespace

LayersDock::LayersDock(QWidget* parent) : QDockWidget(QStringLiteral("Слои"), parent) {
  auto* container = new QWidget;
  auto* layout = new QVBoxLayout(container);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(2);
  list = new QListWidget(container);
  list->setIconSize(QSize(48, 36));
  list->setSpacing(1);
  layout->addWidget(list);

  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  auto button = [&](const QString& text, const QString& tip) {
    auto* b = new QPushButton(text, container);
    b->setFixedHeight(22);
    // The editor's button padding would leave no room for the glyph at this height.
    b->setStyleSheet(QStringLiteral("padding: 0px;"));
    b->setToolTip(tip);
    row->addWidget(b);
    return b;
  };
  QPushButton* add = button(QStringLiteral("+"), QStringLiteral("Добавить слой"));
  QPushButton* remove = button(QStringLiteral("−"), QStringLiteral("Удалить слой"));
  QPushButton* up = button(QStringLiteral("↑"), QStringLiteral("Переместить вверх"));
  QPushButton* down = button(QStringLiteral("↓"), QStringLiteral("Переместить вниз"));
  QPushButton* merge = button(QStringLiteral("М↓"), QStringLiteral("Объединить с нижним слоем"));
  QPushButton* flatten = button(QStringLiteral("М∗"), QStringLiteral("Объединить все слои в один"));
  layout->addLayout(row);
  setWidget(container);

  connect(add, &QPushButton::clicked, this, [this] {
    changeStack(QStringLiteral("Добавить слой"), [this] { document->addLayer(QString()); });
  });
  connect(remove, &QPushButton::clicked, this, [this] {
    const int i = selectedLayerIndex();
    changeStack(QStringLiteral("Удалить слой"), [this, i] { document->removeLayer(i); });
  });
  connect(up, &QPushButton::clicked, this, [this] {
    const int i = selectedLayerIndex();
    changeStack(QStringLiteral("Переместить слой"), [this, i] { document->moveLayer(i, i + 1); });
  });
  connect(down, &QPushButton::clicked, this, [this] {
    const int i = selectedLayerIndex();
    changeStack(QStringLiteral("Переместить слой"), [this, i] { document->moveLayer(i, i - 1); });
  });
  connect(merge, &QPushButton::clicked, this, &LayersDock::mergeDownRequested);
  connect(flatten, &QPushButton::clicked, this, &LayersDock::flattenRequested);
  connect(list, &QListWidget::currentRowChanged, this, &LayersDock::onCurrentRowChanged);
  connect(list, &QListWidget::itemChanged, this, &LayersDock::onItemChanged);
}

LayersDock::~LayersDock() = default;

void LayersDock::setDocument(Document* doc) {
  document = doc;
  refresh();
}

void LayersDock::setUndoStack(QUndoStack* stack) { undoStack = stack; }

int LayersDock::selectedLayerIndex() const { return int(document->layers.size()) - 1 - list->currentRow(); }

void LayersDock::changeStack(const QString& text, const std::function<void()>& change) {
  if (!document) return;
  emit aboutToChangeLayers();
  recordLayerStackChange(undoStack, document, text, change);
  refresh();
  emit changed();
}

void LayersDock::onCurrentRowChanged(int row) {
  if (!document || row < 0) return;
  document->activeIndex = int(document->layers.size()) - 1 - row;
}

void LayersDock::onItemChanged(QListWidgetItem* item) {
  if (!document) return;
  const int i = int(document->layers.size()) - 1 - list->row(item);
  if (i < 0 || i >= document->layers.size()) return;
  document->layers[i]->visible = item->checkState() == Qt::Checked;
  emit changed();
}

void LayersDock::refresh() {
  const QSignalBlocker blocker(list);
  list->clear();
  if (!document) return;
  const QImage board = checkerboard();
  const int n = int(document->layers.size());
  for (int i = n - 1; i >= 0; --i) {
    const Layer& layer = *document->layers[i];
    auto* item = new QListWidgetItem(layer.name);
    item->setCheckState(layer.visible ? Qt::Checked : Qt::Unchecked);
    item->setSizeHint(QSize(0, 42));
    QImage thumbnail(48, 36, QImage::Format_ARGB32);
    QPainter painter(&thumbnail);
    painter.drawImage(0, 0, board);
    if (!layer.image.isNull()) {
      const QImage scaled = layer.image.scaled(48, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      painter.drawImage((48 - scaled.width()) / 2, (36 - scaled.height()) / 2, scaled);
    }
    painter.end();
    item->setIcon(QIcon(QPixmap::fromImage(thumbnail)));
    list->addItem(item);
  }
  list->setCurrentRow(n - 1 - document->activeIndex);
}

// The facsimile picker, the name dialog and the placement size dialog.
#include "Facsimiles.h"

#include "SignatureTexts.h"
#include "core/AtomicFileWrite.h"
#include "ui/BusyRing.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHash>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

const QString kStyle = QStringLiteral(
    "QDialog { background: #eef3f8; color: #172033; }"
    "QLabel#DialogTitle { color: #0f172a; font-size: 17px; font-weight: 700; }"
    "QLabel#DialogHint { color: #64748b; }"
    "QListWidget { background: #f8fbff; border: 1px solid #cbd7e6; border-radius: 10px; padding: 8px; }"
    "QListWidget::item { border: 1px solid transparent; border-radius: 9px; padding: 6px; }"
    "QListWidget::item:hover { background: #e7eef7; border-color: #c7d7eb; }"
    "QListWidget::item:selected { background: #dcecff; border-color: #7fb0ff; color: #0f172a; }"
    "QLineEdit, QComboBox { background: #ffffff; border: 1px solid #cbd7e6; border-radius: 8px; padding: 7px 9px; }"
    "QPushButton { background: #ffffff; border: 1px solid #cbd7e6; border-radius: 8px; padding: 7px 16px; "
    "color: #172033; }"
    "QPushButton:hover { background: #f7fbff; border-color: #9bb8dc; }"
    "QPushButton#PrimaryAction { background: #1473e6; border-color: #1473e6; color: white; font-weight: 600; }");

constexpr int kPathRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kGroupItemsRole = Qt::UserRole + 2;

QString resolved(const QString& folder, const QString& path) { return QDir(folder).filePath(path); }

QStringList withoutDuplicates(const QStringList& paths) {
  QStringList unique;
  for (const QString& path : paths)
    if (!unique.contains(path)) unique << path;
  return unique;
}

QLabel* styledLabel(const QString& text, const char* role, bool wrap = false) {
  auto* label = new QLabel(text);
  label->setObjectName(QString::fromLatin1(role));
  label->setWordWrap(wrap);
  return label;
}

// The small dialogs' frame: title, hint, the caller's grid and the two
// buttons; runs it and answers whether it was accepted.
bool runSmallDialog(QDialog& dialog, const QString& title, const QString& hint, QGridLayout* grid,
                    const QString& okText) {
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(okText);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("PrimaryAction"));
  buttons->button(QDialogButtonBox::Cancel)->setText(uiText("Отмена"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(12);
  layout->addWidget(styledLabel(title, "DialogTitle"));
  layout->addWidget(styledLabel(hint, "DialogHint", true));
  layout->addLayout(grid);
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted;
}

// Pictures as the picker shows them, by their paths in the store.
using Thumbnails = QHash<QString, QImage>;
constexpr QSize kThumbnailSize(240, 150);

// Each picture read and scaled on a worker thread, the busy ring over
// `window` meanwhile: a stored picture may hold tens of megapixels.
Thumbnails readThumbnails(QWidget* window, const QString& folder, const QStringList& pictures) {
  Thumbnails read;
  for (const QString& picture : pictures) read.insert(picture, QImage());
  runWithBusyCover(window, uiText("Обрабатываю изображение..."), [&read, folder] {
    for (auto it = read.begin(); it != read.end(); ++it)
      it.value() = readFacsimileThumbnail(resolved(folder, it.key()), kThumbnailSize);
  });
  return read;
}

QPixmap groupPreview(const Thumbnails& thumbnails, const QStringList& pictures) {
  QPixmap pixmap(120, 75);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x14, 0x73, 0xe6), 1.4));
  painter.setBrush(QColor(220, 236, 255, 120));
  painter.drawRoundedRect(QRectF(1, 1, 117, 72), 8, 8);
  const int k = std::min<int>(3, pictures.size());
  if (k == 0) return pixmap;
  const int t = (120 - (4 * k + 4)) / k;
  for (int i = 0; i < k; ++i) {
    const int x = 4 + i * (t + 4);
    painter.setPen(QPen(QColor(0x94, 0xa3, 0xb8), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(x, 8, t, 75 - 16), 5, 5);
    const QImage picture = thumbnails.value(pictures[i]);
    if (picture.isNull()) continue;
    const QImage scaled = picture.scaled(t - 8, 75 - 24, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage((2 * x + t - 1) / 2 - scaled.width() / 2, (75 - 1) / 2 - scaled.height() / 2, scaled);
  }
  return pixmap;
}

// Groups in the order of their files: name, path in the store, pictures.
struct StoredGroup {
  QString name, file;
  QStringList pictures;
};

QList<StoredGroup> storedGroups(const QString& folder) {
  QList<StoredGroup> found;
  const QDir groups(facsimileGroupDir(folder));
  if (!groups.exists()) return found;
  for (const QString& groupFile : groups.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
    const QJsonObject object = QJsonDocument::fromJson(readFacsimileGroupFile(groups.filePath(groupFile))).object();
    QStringList kept;
    for (const QJsonValue& value : object.value(QLatin1String("items")).toArray()) {
      const QString path = value.toString().trimmed();
      if (!path.isEmpty() && isFacsimileFile(resolved(folder, path))) kept << path;
    }
    kept = withoutDuplicates(kept);
    if (kept.isEmpty()) continue;
    QString name = object.value(QLatin1String("name")).toString().trimmed();
    if (name.isEmpty()) name = QFileInfo(groupFile).completeBaseName();
    found.append({name, groupFile, kept});
  }
  return found;
}

void fillPicker(QWidget* window, QListWidget* list, const QStringList& files, const QString& folder,
                bool listGroups) {
  list->clear();
  const QList<StoredGroup> groups = listGroups ? storedGroups(folder) : QList<StoredGroup>();
  QStringList shown = files;
  for (const StoredGroup& group : groups) shown << group.pictures.mid(0, 3);
  const Thumbnails thumbnails = readThumbnails(window, folder, withoutDuplicates(shown));
  for (const QString& entry : files) {
    const QFileInfo info(entry);
    QString text = info.completeBaseName();
    const QString part = QFileInfo(entry).path();
    if (part != QLatin1String(".")) text += QLatin1Char('\n') + part;
    const QImage picture = thumbnails.value(entry);
    auto* item = new QListWidgetItem(picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture)), text, list);
    item->setData(kPathRole, entry);
    item->setData(kKindRole, QStringLiteral("image"));
  }
  for (const StoredGroup& group : groups) {
    auto* item = new QListWidgetItem(QIcon(groupPreview(thumbnails, group.pictures)),
                                     uiText("Группа\n%1 (%2)").arg(group.name, QString::number(group.pictures.size())),
                                     list);
    item->setData(kPathRole, QStringLiteral("groups/") + group.file);
    item->setData(kKindRole, QStringLiteral("group"));
    item->setData(kGroupItemsRole, group.pictures);
  }
  if (list->count() > 0) list->setCurrentRow(0);
}

void createGroup(QDialog* dialog, QListWidget* list, const std::function<void()>& refill, const QString& folder) {
  const QStringList pictures = selectedFacsimileImageItems(list, folder);
  if (pictures.size() < 2) {
    QMessageBox::information(dialog, uiText("Группа факсимиле"),
                             uiText("Выберите минимум две картинки для создания группы."));
    return;
  }
  QString name;
  if (!requestFacsimileName(dialog, uiText("Новая группа факсимиле"), uiText("группа факсимиле"), &name)) return;
  name = normalizeFacsimileName(name);
  const QString groupFolder = facsimileGroupDir(folder);
  QDir().mkpath(groupFolder);
  QJsonObject object{{QStringLiteral("name"), name}, {QStringLiteral("items"), QJsonArray::fromStringList(pictures)}};
  // Replaced whole, so a failed write never leaves half a group.
  if (!writeFileAtomically(QDir(groupFolder).filePath(name + QStringLiteral(".json")),
                           QJsonDocument(object).toJson(QJsonDocument::Indented), nullptr,
                           AtomicFileAccess::AsTarget, AtomicFileLinks::Refuse)) {
    QMessageBox::warning(dialog, uiText("Ошибка"), uiText("Не удалось сохранить группу."));
    return;
  }
  refill();
  for (int row = 0; row < list->count(); ++row) {
    QListWidgetItem* item = list->item(row);
    if (item->data(kKindRole).toString() == QLatin1String("group") &&
        QFileInfo(item->data(kPathRole).toString()).completeBaseName() == name) {
      list->setCurrentItem(item);
      list->clearSelection();
      item->setSelected(true);
      break;
    }
  }
}

}  // namespace

QDialog* buildFacsimilePickerDialog(const QString& facsimileFolder, const QStringList& files, QWidget* parent,
                                    bool listGroups, bool multiSelect, bool offerCreateGroup, bool offerCreateNew) {
  auto* dialog = new QDialog(parent);
  dialog->setWindowTitle(uiText("Выбрать факсимиле"));
  dialog->setModal(true);
  dialog->setStyleSheet(kStyle);

  auto* list = new QListWidget(dialog);
  keepUserText(list);  // facsimile and group names are the user's
  list->setViewMode(QListView::IconMode);
  list->setIconSize(QSize(120, 75));
  list->setSpacing(8);
  list->setResizeMode(QListView::Adjust);
  list->setMinimumSize(480, 260);
  list->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  // Filled before the dialog shows, under the window; filled again over the dialog.
  fillPicker(parent, list, files, facsimileFolder, listGroups);
  auto refill = [dialog, list, files, facsimileFolder, listGroups] {
    fillPicker(dialog, list, files, facsimileFolder, listGroups);
  };

  auto* row = new QHBoxLayout;
  if (offerCreateGroup) {
    auto* button = new QPushButton(uiText("Создать группу"));
    QObject::connect(button, &QPushButton::clicked, dialog,
                     [dialog, list, refill, facsimileFolder] { createGroup(dialog, list, refill, facsimileFolder); });
    row->addWidget(button);
  }
  if (offerCreateNew) {
    auto* button = new QPushButton(uiText("Создать новое"));
    QObject::connect(button, &QPushButton::clicked, dialog, [dialog] {
      dialog->setProperty("createNew", true);
      dialog->accept();
    });
    row->addWidget(button);
  }
  row->addStretch(1);
  auto* ok = new QPushButton(uiText("ОК"));
  ok->setObjectName(QStringLiteral("PrimaryAction"));
  auto* cancel = new QPushButton(uiText("Отмена"));
  row->addWidget(ok);
  row->addWidget(cancel);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, dialog, &QDialog::accept);

  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(10);
  layout->addWidget(styledLabel(uiText("Факсимиле"), "DialogTitle"));
  layout->addWidget(styledLabel(
      multiSelect ? uiText("Выберите одно факсимиле, готовую группу или несколько картинок для вставки/создания группы.")
                  : uiText("Выберите сохранённое факсимиле."),
      "DialogHint", true));
  layout->addWidget(list);
  layout->addLayout(row);
  dialog->setProperty("listWidget", QVariant::fromValue<QObject*>(list));
  return dialog;
}

QStringList selectedFacsimileImageItems(QListWidget* list, const QString& facsimileFolder) {
  if (!list) return {};
  QList<QListWidgetItem*> items = list->selectedItems();
  // The view's order, not the order of clicking.
  std::sort(items.begin(), items.end(),
            [list](QListWidgetItem* a, QListWidgetItem* b) { return list->row(a) < list->row(b); });
  if (items.isEmpty() && list->currentItem()) items << list->currentItem();
  QStringList paths;
  for (QListWidgetItem* item : items) {
    if (item->data(kKindRole).toString() == QLatin1String("group"))
      paths << item->data(kGroupItemsRole).toStringList();
    else if (!item->data(kPathRole).toString().isEmpty())
      paths << item->data(kPathRole).toString();
  }
  QStringList existing;
  for (const QString& path : withoutDuplicates(paths))
    if (isFacsimileFile(resolved(facsimileFolder, path))) existing << path;
  return existing;
}

bool requestFacsimileName(QWidget* parent, const QString& title, const QString& initialName, QString* name) {
  QDialog dialog(parent);
  dialog.setWindowTitle(title);
  dialog.setModal(true);
  dialog.setStyleSheet(kStyle);
  auto* grid = new QGridLayout;
  auto* edit = new QLineEdit(initialName);
  grid->addWidget(new QLabel(uiText("Имя:")), 0, 0);
  grid->addWidget(edit, 0, 1);
  if (!runSmallDialog(dialog, title, uiText("Укажите имя факсимиле."), grid, uiText("Сохранить"))) return false;
  *name = normalizeFacsimileName(edit->text());
  return true;
}

double facsimileHeightForWidthMm(const QSize& pixels, double widthMm) {
  if (pixels.width() <= 0 || pixels.height() <= 0) return widthMm;
  return widthMm * pixels.height() / pixels.width();
}

bool requestFacsimilePlacementSize(QWidget* parent, const QList<QImage>& images, QSizeF* sizeMm) {
  struct Kind {
    const char* text;
    QSizeF size;
  };
  static const Kind kinds[] = {{"Подпись", {45, 18}}, {"Печать", {40, 40}}, {"Надпись", {60, 12}},
                               {"Группа", {85, 32}}};
  const QString custom = uiText("Свой размер");

  QDialog dialog(parent);
  dialog.setWindowTitle(uiText("Размер факсимиле"));
  dialog.setModal(true);
  dialog.setStyleSheet(kStyle);
  auto* kind = new QComboBox;
  for (const Kind& k : kinds) kind->addItem(uiText(k.text));
  kind->addItem(custom);
  const auto spin = [] {
    auto* box = new QDoubleSpinBox;
    box->setRange(2.0, 300.0);
    box->setDecimals(1);
    box->setSingleStep(1.0);
    box->setSuffix(uiText(" мм"));
    return box;
  };
  QDoubleSpinBox* width = spin();
  QDoubleSpinBox* height = spin();
  const QSizeF proposed = defaultFacsimileSizeMm(images);
  width->setValue(proposed.width());
  height->setValue(proposed.height());

  // One picture keeps its proportions: a type sets the width and the height
  // follows, so the picture is never placed squashed. A group is laid out
  // inside the type's box by the page view.
  const QImage* single = images.size() == 1 && !images.first().isNull() ? &images.first() : nullptr;
  const auto applyKind = [=](const QString& text) {
    for (const Kind& k : kinds)
      if (uiText(k.text) == text) {
        const QSignalBlocker blockWidth(width), blockHeight(height);
        width->setValue(k.size.width());
        height->setValue(single ? facsimileHeightForWidthMm(single->size(), k.size.width()) : k.size.height());
      }
  };
  const int initial = images.size() > 1 ? 3 : std::abs(proposed.width() - proposed.height()) < 2.0 ? 1 : 0;
  kind->setCurrentIndex(initial);
  applyKind(kind->currentText());
  QObject::connect(kind, &QComboBox::currentTextChanged, &dialog, [=](const QString& text) {
    if (text != custom) applyKind(text);
  });
  const auto toCustom = [=] {
    if (kind->currentText() != custom) {
      const QSignalBlocker block(kind);
      kind->setCurrentText(custom);
    }
  };
  QObject::connect(width, &QDoubleSpinBox::valueChanged, &dialog, toCustom);
  QObject::connect(height, &QDoubleSpinBox::valueChanged, &dialog, toCustom);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(uiText("Тип:")), 0, 0);
  grid->addWidget(kind, 0, 1, 1, 2);
  grid->addWidget(new QLabel(uiText("Ширина:")), 1, 0);
  grid->addWidget(width, 1, 1);
  grid->addWidget(new QLabel(uiText("Высота:")), 2, 0);
  grid->addWidget(height, 2, 1);
  if (!runSmallDialog(dialog, uiText("Размер вставки"),
                      uiText("Укажите реальный размер на листе. Масштаб просмотра не влияет на итоговый размер."), grid,
                      uiText("Установить")))
    return false;
  *sizeMm = QSizeF(width->value(), height->value());
  return true;
}

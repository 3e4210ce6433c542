// The stamp template editor: a template's name, picture and text lines with
// a live preview. Nothing is stored before "Сохранить".
#include "SignatureWorkflow.h"

#include "SignatureStampRendering.h"
#include "SignatureStampStorage.h"
#include "SignatureTexts.h"
#include "paint/FacsimileEditorDialog.h"
#include "ui/DialogHelpers.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <QEvent>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct PresetLine {
  const char* label;
  const char* text;
};

const PresetLine kPresetLines[] = {
    {"Подписант", "Подписант: {{SIGNER}}"},
    {"Дата и время", "Дата: {{DATETIME}}"},
    {"Сертификат", "Сертификат: {{ALGORITHM}}, до {{VALID_TO}}"},
    {"Издатель", "Издатель: {{ISSUER}}"},
    {"SHA-256", "SHA-256: {{SHA256}}"},
    {"Отпечаток", "Отпечаток: {{THUMBPRINT}}"},
    {"Провайдер", "Провайдер: {{PROVIDER}}"},
};

// Draws the preview again whenever the label takes a new size: the first
// drawing happens before the dialog is laid out.
class ResizeWatcher : public QObject {
 public:
  ResizeWatcher(QObject* parent, std::function<void()> resized) : QObject(parent), resized(std::move(resized)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) resized();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> resized;
};

QDoubleSpinBox* percentSpin(double minimum, double maximum, const QString& suffix) {
  auto* spin = new QDoubleSpinBox;
  spin->setObjectName(QStringLiteral("ScanSpin"));
  spin->setDecimals(1);
  spin->setRange(minimum, maximum);
  spin->setSuffix(suffix);
  return spin;
}

}  // namespace

QString editSignatureStampTemplate(QWidget* parent, const QString& templateId) {
  SignatureStampTemplate copy = loadSignatureStampTemplate(templateId);
  if (copy.builtIn) {
    copy.id.clear();
    copy.name = uiText("Мой штамп");
    copy.builtIn = false;
  }
  if (copy.image.isNull()) copy.image = defaultSignatureStampBase(kStandardStampSize);
  if (copy.variables.isEmpty()) copy.variables = defaultSignatureStampVariables();
  QString savedId;

  QDialog dialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint);
  dialog.setObjectName(QStringLiteral("AppDialog"));
  dialog.setWindowTitle(uiText("Настройка штампа подписи"));
  dialog.setModal(true);
  dialog.resize(980, 700);

  auto* root = new QVBoxLayout(&dialog);
  root->setContentsMargins(18, 16, 18, 14);
  root->setSpacing(10);
  addDialogHeading(root, uiText("Настройка штампа подписи"),
                   uiText("Картинка штампа редактируется в UlvoPaint. Переменные хранятся отдельно и "
                          "автоматически заполняются при подписании."));

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(label(uiText("Имя шаблона:"), QStringLiteral("DialogHint")));
  auto* nameEdit = new QLineEdit(stampTemplateDisplayName(copy));
  nameEdit->setObjectName(QStringLiteral("ScanLineEdit"));
  nameRow->addWidget(nameEdit, 1);
  root->addLayout(nameRow);

  auto* columns = new QHBoxLayout;
  columns->setSpacing(12);
  auto* left = new QVBoxLayout;
  auto* preview = new QLabel;
  preview->setObjectName(QStringLiteral("ScanPreview"));
  preview->setMinimumSize(520, 260);
  preview->setAlignment(Qt::AlignCenter);
  preview->setStyleSheet(QStringLiteral("background:#f8fbff; border:1px solid #d6e1ef; border-radius:12px;"));
  left->addWidget(preview, 1);
  auto* pictureRow = new QHBoxLayout;
  QPushButton* editPictureButton = dialogButton(uiText("Редактировать картинку"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* resetButton = dialogButton(uiText("Сбросить шаблон"), QStringLiteral("SecondaryDialogButton"));
  pictureRow->addWidget(editPictureButton);
  pictureRow->addWidget(resetButton);
  pictureRow->addStretch(1);
  left->addLayout(pictureRow);

  auto* right = new QVBoxLayout;
  auto* presetRow = new QHBoxLayout;
  auto* presetCombo = new QComboBox;
  presetCombo->setObjectName(QStringLiteral("ScanCombo"));
  for (const PresetLine& preset : kPresetLines) presetCombo->addItem(uiText(preset.label), uiText(preset.text));
  QPushButton* insertButton = dialogButton(uiText("Вставить"), QStringLiteral("SecondaryDialogButton"));
  presetRow->addWidget(presetCombo, 1);
  presetRow->addWidget(insertButton);
  right->addLayout(presetRow);
  auto* lineList = new QListWidget;
  keepUserText(lineList);  // the stamp's own lines, as typed
  lineList->setObjectName(QStringLiteral("OpenRecentList"));
  lineList->setMinimumHeight(140);
  right->addWidget(lineList, 1);

  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  auto* textEdit = new QLineEdit;
  textEdit->setObjectName(QStringLiteral("ScanLineEdit"));
  QDoubleSpinBox* xSpin = percentSpin(0, 100, QStringLiteral(" %"));
  QDoubleSpinBox* ySpin = percentSpin(0, 100, QStringLiteral(" %"));
  QDoubleSpinBox* wSpin = percentSpin(1, 100, QStringLiteral(" %"));
  QDoubleSpinBox* hSpin = percentSpin(1, 100, QStringLiteral(" %"));
  QDoubleSpinBox* sizeSpin = percentSpin(8, 120, QStringLiteral(" px"));
  auto* fontBox = new QFontComboBox;
  fontBox->setObjectName(QStringLiteral("ScanCombo"));
  auto* boldCheck = new QCheckBox(uiText("Жирный"));
  boldCheck->setObjectName(QStringLiteral("ScanCheckBox"));
  auto* italicCheck = new QCheckBox(uiText("Курсив"));
  italicCheck->setObjectName(QStringLiteral("ScanCheckBox"));
  QPushButton* colorButton = dialogButton(uiText("Цвет"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* removeButton = dialogButton(uiText("Удалить"), QStringLiteral("SecondaryDialogButton"));
  const auto hint = [](const char* text) { return label(uiText(text), QStringLiteral("DialogHint")); };
  grid->addWidget(hint("Текст:"), 0, 0);
  grid->addWidget(textEdit, 0, 1, 1, 3);
  grid->addWidget(hint("X:"), 1, 0);
  grid->addWidget(xSpin, 1, 1);
  grid->addWidget(hint("Y:"), 1, 2);
  grid->addWidget(ySpin, 1, 3);
  grid->addWidget(hint("Ширина:"), 2, 0);
  grid->addWidget(wSpin, 2, 1);
  grid->addWidget(hint("Высота:"), 2, 2);
  grid->addWidget(hSpin, 2, 3);
  grid->addWidget(hint("Шрифт:"), 3, 0);
  grid->addWidget(fontBox, 3, 1, 1, 3);
  grid->addWidget(hint("Размер:"), 4, 0);
  grid->addWidget(sizeSpin, 4, 1);
  grid->addWidget(boldCheck, 4, 2);
  grid->addWidget(italicCheck, 4, 3);
  grid->addWidget(colorButton, 5, 0, 1, 2);
  grid->addWidget(removeButton, 5, 2, 1, 2);
  right->addLayout(grid);
  QLabel* variablesHint =
      label(uiText("Переменные: {{SIGNER}}, {{SUBJECT}}, {{ISSUER}}, {{SERIAL}}, {{THUMBPRINT}}, {{ALGORITHM}}, "
                   "{{VALID_TO}}, {{DATETIME}}, {{SHA256}}, {{PROVIDER}}, {{CONTAINER}}"),
            QStringLiteral("DialogHint"));
  variablesHint->setWordWrap(true);
  right->addWidget(variablesHint);

  columns->addLayout(left, 2);
  columns->addLayout(right, 1);
  root->addLayout(columns, 1);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  QPushButton* cancelButton = dialogButton(uiText("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* saveButton = dialogButton(uiText("Сохранить"), QStringLiteral("PrimaryDialogButton"));
  buttonRow->addWidget(cancelButton);
  buttonRow->addWidget(saveButton);
  root->addLayout(buttonRow);

  const QList<QWidget*> lineFields{textEdit, xSpin, ySpin, wSpin, hSpin, fontBox, sizeSpin, boldCheck, italicCheck};
  const auto currentLine = [&]() -> int {
    const int row = lineList->currentRow();
    return row >= 0 && row < copy.variables.size() ? row : -1;
  };
  const auto refreshPreview = [&] {
    preview->setPixmap(stampTemplatePreviewPixmap(copy, preview->size(), lineList->currentRow()));
  };
  preview->installEventFilter(new ResizeWatcher(preview, refreshPreview));
  const auto updateColorButton = [&] {
    const int row = currentLine();
    const QColor color = row >= 0 ? copy.variables.at(row).color : QColor(0x0F, 0x17, 0x2A);
    colorButton->setStyleSheet(QStringLiteral("background:%1;").arg(color.name(QColor::HexArgb)));
  };
  const auto refreshList = [&] {
    const int remembered = lineList->currentRow();
    const QSignalBlocker block(lineList);
    lineList->clear();
    for (const SignatureStampVariable& variable : copy.variables) lineList->addItem(variable.text);
    if (!copy.variables.isEmpty())
      lineList->setCurrentRow(std::max(0, std::min<int>(remembered, copy.variables.size() - 1)));
  };
  const auto loadLine = [&] {
    const int row = currentLine();
    for (QWidget* field : lineFields) field->setEnabled(row >= 0);
    colorButton->setEnabled(row >= 0);
    removeButton->setEnabled(row >= 0);
    if (row < 0) {
      refreshPreview();
      updateColorButton();
      return;
    }
    const SignatureStampVariable& line = copy.variables.at(row);
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QWidget* field : lineFields) blockers.push_back(std::make_unique<QSignalBlocker>(field));
    textEdit->setText(line.text);
    xSpin->setValue(line.x * 100);
    ySpin->setValue(line.y * 100);
    wSpin->setValue(line.w * 100);
    hSpin->setValue(line.h * 100);
    fontBox->setCurrentFont(QFont(line.font));
    sizeSpin->setValue(line.fontSizePx);
    boldCheck->setChecked(line.bold);
    italicCheck->setChecked(line.italic);
    updateColorButton();
    refreshPreview();
  };
  const auto storeLine = [&] {
    const int row = currentLine();
    if (row < 0) return;
    SignatureStampVariable& line = copy.variables[row];
    line.text = textEdit->text();
    line.x = xSpin->value() / 100;
    line.y = ySpin->value() / 100;
    line.w = wSpin->value() / 100;
    line.h = hSpin->value() / 100;
    line.font = fontBox->currentFont().family();
    line.fontSizePx = sizeSpin->value();
    line.bold = boldCheck->isChecked();
    line.italic = italicCheck->isChecked();
    if (QListWidgetItem* item = lineList->item(row)) item->setText(line.text);
    refreshPreview();
  };

  QObject::connect(lineList, &QListWidget::currentRowChanged, &dialog, [&] { loadLine(); });
  QObject::connect(textEdit, &QLineEdit::textChanged, &dialog, [&] { storeLine(); });
  for (QDoubleSpinBox* spin : {xSpin, ySpin, wSpin, hSpin, sizeSpin})
    QObject::connect(spin, &QDoubleSpinBox::valueChanged, &dialog, [&] { storeLine(); });
  QObject::connect(fontBox, &QFontComboBox::currentFontChanged, &dialog, [&] { storeLine(); });
  QObject::connect(boldCheck, &QCheckBox::toggled, &dialog, [&] { storeLine(); });
  QObject::connect(italicCheck, &QCheckBox::toggled, &dialog, [&] { storeLine(); });

  QObject::connect(insertButton, &QPushButton::clicked, &dialog, [&] {
    SignatureStampVariable line;
    line.text = presetCombo->currentData().toString();
    line.x = 0.14;
    line.y = std::min(0.82, 0.18 + 0.075 * copy.variables.size());
    line.w = 0.8;
    line.h = 0.07;
    line.font = QStringLiteral("Times New Roman");
    line.fontSizePx = 30;
    line.color = QColor(0x0F, 0x17, 0x2A);
    line.alignment = 0x81;
    copy.variables.append(line);
    refreshList();
    lineList->setCurrentRow(copy.variables.size() - 1);
    loadLine();
  });
  QObject::connect(removeButton, &QPushButton::clicked, &dialog, [&] {
    const int row = currentLine();
    if (row < 0) return;
    copy.variables.removeAt(row);
    refreshList();
    loadLine();
  });
  QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
    const int row = currentLine();
    if (row < 0) return;
    const QColor chosen = QColorDialog::getColor(copy.variables.at(row).color, &dialog, uiText("Цвет текста"));
    if (!chosen.isValid()) return;
    copy.variables[row].color = chosen;
    updateColorButton();
    refreshPreview();
  });
  QObject::connect(editPictureButton, &QPushButton::clicked, &dialog, [&] {
    FacsimileEditorDialog editor(&dialog);
    editor.setWindowTitle(uiText("Редактор картинки штампа"));
    editor.setImage(copy.image);
    if (editor.exec() != QDialog::Accepted) return;
    const QImage edited = editor.image();
    if (edited.isNull()) return;
    copy.image = edited.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    refreshPreview();
  });
  QObject::connect(resetButton, &QPushButton::clicked, &dialog, [&] {
    if (!appQuestion(&dialog, uiText("Сбросить штамп"), uiText("Вернуть стандартную картинку и переменные штампа?"),
                     uiText("Да"), uiText("Нет")))
      return;
    const QString name = nameEdit->text().trimmed();
    copy = defaultSignatureStampTemplate();
    copy.id.clear();
    copy.name = name.isEmpty() ? uiText("Мой штамп") : name;
    copy.builtIn = false;
    refreshList();
    loadLine();
  });
  QObject::connect(cancelButton, &QPushButton::clicked, &dialog, &QDialog::reject);
  QObject::connect(saveButton, &QPushButton::clicked, &dialog, [&] {
    copy.name = nameEdit->text().trimmed();
    if (copy.name.isEmpty()) {
      appInfo(&dialog, uiText("Штамп подписи"), uiText("Введите имя шаблона."));
      return;
    }
    QString error;
    if (!saveSignatureStampTemplate(copy, &error)) {
      appInfo(&dialog, uiText("Штамп подписи"), error);
      return;
    }
    savedId = copy.id;
    dialog.accept();
  });

  refreshList();
  loadLine();
  // Enter in a field ends typing there; it clicks no button of the dialog.
  for (QPushButton* button : dialog.findChildren<QPushButton*>()) button->setAutoDefault(false);
  return dialog.exec() == QDialog::Accepted ? savedId : QString();
}

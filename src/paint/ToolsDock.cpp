#include "ToolsDock.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFontComboBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

namespace {

struct ToolEntry {
  QString id;
  QString label;
  QString iconPath;
  bool implemented;
  bool separatorBefore;
};

QList<ToolEntry> toolTable() {
  return {
      {"select", "Выделение", ":/icons/tool_select.svg", true, false},
      {"wand", "Волшебная палочка", ":/icons/tool_magic_wand.svg", true, false},
      {"lasso", "Лассо", ":/icons/tool_lasso.svg", true, false},
      {"move", "Перемещение", ":/icons/tool_move.svg", true, false},
      {"crop", "Обрезка", ":/icons/tool_crop.svg", true, false},
      {"zoom", "Масштаб", ":/icons/tool_zoom.svg", true, true},
      {"hand", "Рука", ":/icons/tool_hand.svg", true, false},
      {"eyedropper", "Пипетка", ":/icons/tool_eyedropper.svg", true, true},
      {"pencil", "Карандаш", ":/icons/tool_pencil.svg", true, true},
      {"brush", "Кисть", ":/icons/tool_brush.svg", true, false},
      {"eraser", "Ластик", ":/icons/tool_eraser.svg", true, false},
      {"fill", "Заливка", ":/icons/tool_fill.svg", true, false},
      {"text", "Текст", ":/icons/tool_text.svg", true, false},
      {"gradient", "Градиент", ":/icons/tool_gradient.svg", true, false},
      {"line", "Линия", ":/icons/tool_line.svg", true, true},
      {"rect", "Прямоугольник", ":/icons/tool_rectangle.svg", true, false},
      {"ellipse", "Эллипс", ":/icons/tool_ellipse.svg", true, false},
      {"stamp", "Штамп", ":/icons/tool_stamp.svg", false, true},
  };
}

}  // namespace

ToolsDock::ToolsDock(QWidget* parent) : QToolBar(QStringLiteral("Инструменты"), parent) {
  setIconSize(QSize(24, 24));
  setMovable(true);
  setFloatable(true);
  buttonGroup = new QButtonGroup(this);
  buttonGroup->setExclusive(true);

  const QList<ToolEntry> table = toolTable();
  for (int i = 0; i < table.size(); ++i) {
    const ToolEntry& entry = table[i];
    if (entry.separatorBefore) addSeparator();
    auto* button = new QToolButton;
    button->setIcon(QIcon(entry.iconPath));
    button->setIconSize(QSize(24, 24));
    button->setFixedSize(36, 36);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setToolTip(entry.implemented ? entry.label : entry.label + QCoreApplication::translate("ulvo", " (не реализован)"));
    button->setProperty("toolId", entry.id);
    if (!entry.implemented) button->setEnabled(false);
    buttonGroup->addButton(button, i);
    addWidget(button);
    if (entry.id == QLatin1String("brush")) button->setChecked(true);
  }

  addSeparator();
  addWidget(new QLabel(QStringLiteral("  Размер:")));
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(1, 100);
  slider->setValue(8);
  slider->setFixedWidth(110);
  slider->setToolTip(QStringLiteral("Размер инструмента / размер текста"));
  addWidget(slider);
  auto* valueLabel = new QLabel(QStringLiteral(" 8 "));
  valueLabel->setMinimumWidth(28);
  addWidget(valueLabel);

  textSeparatorAction = addSeparator();
  fontLabelAction = addWidget(new QLabel(QStringLiteral("  Шрифт:")));
  auto* fontCombo = new QFontComboBox;
  fontCombo->setFixedWidth(160);
  fontCombo->setToolTip(QStringLiteral("Семейство шрифта"));
  fontComboAction = addWidget(fontCombo);
  auto styleButton = [](const QString& text, const QString& tip) {
    auto* button = new QToolButton;
    button->setText(text);
    button->setFixedSize(26, 26);
    button->setCheckable(true);
    button->setToolTip(tip);
    return button;
  };
  QToolButton* bold = styleButton(QStringLiteral("B"), QStringLiteral("Жирный"));
  QFont boldFont = bold->font();
  boldFont.setWeight(QFont::Bold);
  bold->setFont(boldFont);
  boldAction = addWidget(bold);
  QToolButton* italic = styleButton(QStringLiteral("I"), QStringLiteral("Курсив"));
  QFont italicFont = italic->font();
  italicFont.setStyle(QFont::StyleItalic);
  italic->setFont(italicFont);
  italicAction = addWidget(italic);
  setTextControlsVisible(false);

  connect(buttonGroup, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* button) {
    const QString id = button->property("toolId").toString();
    setTextControlsVisible(id == QLatin1String("text"));
    emit toolSelected(id);
  });
  connect(slider, &QSlider::valueChanged, this, [this, valueLabel](int value) {
    valueLabel->setText(QStringLiteral(" %1 ").arg(value));
    emit sizeChanged(value);
  });
  connect(fontCombo, &QFontComboBox::currentFontChanged, this,
          [this](const QFont& font) { emit fontFamilyChanged(font.family()); });
  connect(bold, &QToolButton::toggled, this, &ToolsDock::boldChanged);
  connect(italic, &QToolButton::toggled, this, &ToolsDock::italicChanged);
}

ToolsDock::~ToolsDock() = default;

void ToolsDock::setTextControlsVisible(bool visible) {
  for (QAction* action : {textSeparatorAction, fontLabelAction, fontComboAction, boldAction, italicAction})
    action->setVisible(visible);
}

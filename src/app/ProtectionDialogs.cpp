// "Пароль PDF" and "Свойства аннотации": forms that only show. Documents open
// without a password and marks keep their own look, so nothing typed here is
// read; both buttons just close.
#include "MainWindow.h"

#include "DialogHelpers.h"
#include "ToolDialogFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

void addClosingButtons(QDialog* dialog, QVBoxLayout* layout, const QString& secondary, const QString& primary) {
  const auto [second, first] = addDialogButtonRow(layout, secondary, primary);
  QObject::connect(second, &QPushButton::clicked, dialog, &QDialog::close);
  QObject::connect(first, &QPushButton::clicked, dialog, &QDialog::close);
}

}  // namespace

void MainWindow::showPasswordDialog() {
  QDialog* dialog = newToolDialog(this, QStringLiteral("Пароль PDF"), QSize(430, 250));
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(18, 18, 18, 18);
  layout->setSpacing(10);
  layout->addWidget(label(QStringLiteral("Защищённый PDF"), QStringLiteral("DialogTitle")));
  QLabel* subtitle = label(QStringLiteral("Файл защищён паролем. Введите пароль, чтобы открыть документ."),
                           QStringLiteral("DialogSubtitle"));
  subtitle->setWordWrap(true);
  layout->addWidget(subtitle);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Пароль:")), 0, 0);
  QLineEdit* password = dialogLineEdit();
  password->setEchoMode(QLineEdit::Password);
  grid->addWidget(password, 0, 1);
  grid->addWidget(new QCheckBox(QStringLiteral("Запомнить пароль для этой сессии")), 1, 1);
  layout->addLayout(grid);
  layout->addStretch(1);
  addClosingButtons(dialog, layout, QStringLiteral("Отмена"), QStringLiteral("Открыть"));
  showCentredOn(this, dialog);
}

void MainWindow::showAnnotationPropertiesDialog() {
  QDialog* dialog = newToolDialog(this, QStringLiteral("Свойства аннотации"), QSize(500, 380));
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->addWidget(label(QStringLiteral("Свойства комментария"), QStringLiteral("DialogTitle")));
  auto* grid = new QGridLayout;
  auto* type = new QComboBox;
  type->addItems({QStringLiteral("Заметка"), QStringLiteral("Выделение"), QStringLiteral("Подчёркивание"),
                  QStringLiteral("Штамп")});
  auto* colour = new QComboBox;
  colour->addItems({QStringLiteral("Жёлтый"), QStringLiteral("Синий"), QStringLiteral("Зелёный"),
                    QStringLiteral("Красный")});
  auto* opacity = new QSlider(Qt::Horizontal);
  opacity->setRange(0, 100);
  opacity->setValue(85);
  const QList<std::pair<QString, QWidget*>> rows = {{QStringLiteral("Тип:"), type},
                                                     {QStringLiteral("Автор:"), dialogLineEdit(QStringLiteral("User"))},
                                                     {QStringLiteral("Цвет:"), colour},
                                                     {QStringLiteral("Прозрачность:"), opacity}};
  for (int row = 0; row < rows.size(); ++row) {
    grid->addWidget(new QLabel(rows[row].first), row, 0);
    grid->addWidget(rows[row].second, row, 1);
  }
  layout->addLayout(grid);
  layout->addWidget(new QCheckBox(QStringLiteral("Блокировать перемещение")));
  layout->addWidget(new QCheckBox(QStringLiteral("Показывать автора в списке комментариев")));
  layout->addStretch(1);
  addClosingButtons(dialog, layout, QStringLiteral("Отмена"), QStringLiteral("ОК"));
  showCentredOn(this, dialog);
}

// "Пароль PDF": the password a locked file is opened with, and what the
// ribbon's "Пароль" says about the document's lock. "Свойства аннотации" is a
// form that only shows: marks keep their own look, so both its buttons close.
#include "MainWindow.h"

#include "PasswordPrompt.h"
#include "ToolDialogFrame.h"
#include "core/ForeignFileNames.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QFileInfo>
#include <QHash>

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

QHash<QString, QByteArray>& sessionPasswords() {
  static QHash<QString, QByteArray> kept;
  return kept;
}

// The file itself, not its name: two files whose names are not UTF-8 may
// read the same, and must not share a password.
QString passwordKey(const QString& path) {
  if (const auto identity = existingFileIdentity(path))
    return QStringLiteral("file:%1:%2").arg(identity->first).arg(identity->second);
  return QFileInfo(path).absoluteFilePath();
}

}  // namespace

std::optional<QByteArray> rememberedDocumentPassword(const QString& path) {
  const auto it = sessionPasswords().constFind(passwordKey(path));
  if (it == sessionPasswords().constEnd()) return std::nullopt;
  return *it;
}

std::optional<QByteArray> askDocumentPassword(QWidget* parent, const QString& fileName, const QString& problem,
                                              const QString& path) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("AppDialog"));
  dialog.setWindowTitle(QStringLiteral("Пароль PDF"));
  dialog.resize(430, 250);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(18, 18, 18, 18);
  layout->setSpacing(10);
  addDialogHeading(layout, QStringLiteral("Защищённый PDF"),
                   QStringLiteral("Файл защищён паролем. Введите пароль, чтобы открыть документ."));
  // The file's name comes from outside: shown as it is, never as markup.
  QLabel* name = label(fileName, QStringLiteral("DialogSubtitle"));
  name->setTextFormat(Qt::PlainText);
  keepUserText(name);
  layout->addWidget(name);
  if (!problem.isEmpty()) layout->addWidget(label(problem, QStringLiteral("DialogSubtitle")));
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Пароль:")), 0, 0);
  QLineEdit* password = dialogLineEdit();
  password->setEchoMode(QLineEdit::Password);
  grid->addWidget(password, 0, 1);
  auto* remember = new QCheckBox(QStringLiteral("Запомнить пароль для этой сессии"));
  grid->addWidget(remember, 1, 1);
  layout->addLayout(grid);
  layout->addStretch(1);
  const auto [cancel, open] = addDialogButtonRow(layout, QStringLiteral("Отмена"), QStringLiteral("Открыть"));
  open->setDefault(true);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  QObject::connect(open, &QPushButton::clicked, &dialog, &QDialog::accept);
  password->setFocus();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QByteArray typed = password->text().toUtf8();
  if (remember->isChecked() && !path.isEmpty()) sessionPasswords().insert(passwordKey(path), typed);
  return typed;
}

void MainWindow::showPasswordDialog() {
  // A locked file asks for its password when it opens; here the user learns
  // what the open document's lock is and what saving does with it.
  if (!currentDocument->isOpen()) {
    appInfo(this, QStringLiteral("Пароль PDF"), QStringLiteral("Документ не открыт"));
    return;
  }
  appInfo(this, QStringLiteral("Пароль PDF"),
          currentDocument->isEncrypted()
              ? QStringLiteral("Документ зашифрован. При сохранении шифрование, пароли и права доступа "
                               "сохраняются такими же, как в исходном файле.")
              : QStringLiteral("Документ не защищён паролем. Установка пароля пока недоступна."));
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

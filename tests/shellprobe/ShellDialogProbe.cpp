// Loaded into the program (LD_PRELOAD) by the shell action tests: reports
// every modal dialog on standard error as one line and answers it, so a test
// can see from outside which dialog a shell action reached.
//   DIALOG <title> | <label texts and list items joined by " / ">
// It clicks "OK" (Qt's Russian "ОК" too) or "Отмена" when the dialog has such a button, else closes it.
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

void answerModalDialogs() {
  static QPointer<QWidget> answered;
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal != answered && modal->isVisible()) {
    answered = modal;
    QStringList texts;
    for (QLabel* line : modal->findChildren<QLabel*>())
      if (!line->text().isEmpty()) texts << line->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
    for (QListWidget* list : modal->findChildren<QListWidget*>())
      for (int row = 0; row < list->count(); ++row) texts << list->item(row)->text();
    std::fprintf(stderr, "DIALOG %s | %s\n", qPrintable(modal->windowTitle()),
                 qPrintable(texts.join(QStringLiteral(" / "))));
    std::fflush(stderr);
    QPushButton* answer = nullptr;
    for (QPushButton* button : modal->findChildren<QPushButton*>())
      if (button->text() == QLatin1String("OK") || button->text() == QStringLiteral("ОК") ||
          button->text() == QStringLiteral("Отмена"))
        answer = button;
    QPointer<QWidget> target(modal);
    QTimer::singleShot(20, [target, answer] {
      if (!target) return;
      // A dialog busy with work greys its buttons; closing it still ends it.
      if (answer && answer->isEnabled())
        answer->click();
      else
        target->close();
    });
  }
}

void startProbe() {
  auto* timer = new QTimer(QCoreApplication::instance());
  QObject::connect(timer, &QTimer::timeout, answerModalDialogs);
  timer->start(25);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

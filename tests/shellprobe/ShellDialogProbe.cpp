// Loaded into the program (LD_PRELOAD) by the shell action tests: reports
// every modal dialog on standard error as one line and answers it, so a test
// can see from outside which dialog a shell action reached.
//   DIALOG <title> | <label texts and list items joined by " / ">
// It clicks "OK" (Qt's Russian "ОК" too) or "Отмена" when the dialog has such a button, else closes it.
// Labels Qt would render as HTML are marked "[rich]".
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
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
      if (!line->text().isEmpty())
        // A label that Qt would render as HTML is marked, so a test sees it.
        texts << (line->textFormat() != Qt::PlainText && Qt::mightBeRichText(line->text()) ? QStringLiteral("[rich]")
                                                                                           : QString()) +
                     line->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
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
  // A normal start keeps its window open: ULVO_PROBE_QUIT_MS ends it.
  bool numeric = false;
  const int quitMs = qEnvironmentVariableIntValue("ULVO_PROBE_QUIT_MS", &numeric);
  if (numeric) QTimer::singleShot(quitMs, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

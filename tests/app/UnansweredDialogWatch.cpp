// A modal dialog that no test answers would hold its test until CTest kills
// it. This watch fails the test within seconds instead, names the dialog and
// closes it, so the test goes on to its own assertions.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>

namespace {

// Up this long with no test code waiting for a dialog or driving one, a
// dialog is taken as unanswered; while some test code waits for another
// dialog, the one in the way gets longer.
constexpr int kUnattendedMs = 20000;
constexpr int kInTheWayMs = 60000;

class UnansweredDialogWatch : public ::testing::Environment {
 public:
  void SetUp() override {
    timer = new QTimer;
    timer->setInterval(250);
    QObject::connect(timer, &QTimer::timeout, [this] { look(); });
    timer->start();
  }
  void TearDown() override {
    delete timer;
    timer = nullptr;
  }

 private:
  void look() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || testsupport::DialogAttention::driving > 0) {
      watched = nullptr;
      return;
    }
    if (dialog != watched) {
      watched = dialog;
      since.start();
      return;
    }
    if (since.elapsed() < (testsupport::DialogAttention::waiting > 0 ? kInTheWayMs : kUnattendedMs)) return;
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
    ADD_FAILURE() << "a dialog nobody answered stayed open for " << since.elapsed() / 1000 << " s: \""
                  << dialog->windowTitle().toStdString() << "\" " << texts.join(QStringLiteral(" | ")).toStdString();
    watched = nullptr;
    dialog->reject();
  }

  QTimer* timer = nullptr;
  QPointer<QDialog> watched;
  QElapsedTimer since;
};

// Registered before the tests run; its timer starts once the application exists.
[[maybe_unused]] ::testing::Environment* const watch = ::testing::AddGlobalTestEnvironment(new UnansweredDialogWatch);

}  // namespace

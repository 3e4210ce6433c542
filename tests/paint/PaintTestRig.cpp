#include "PaintTestRig.h"

#include "TestSupport.h"
#include "paint/ToolsDock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace painttest {

EditorRig::EditorRig(const QSize& size) {
  host.resize(1100, 720);
  host.show();
  (void)QTest::qWaitForWindowExposed(&host);
  QImage white(size, QImage::Format_ARGB32_Premultiplied);
  white.fill(Qt::white);
  host.resetDocument(size, white);
  QCoreApplication::processEvents();  // the deferred fit
  host.canvas->zoom = 1.0;
  host.canvas->offset = QPointF();
}

QPoint EditorRig::at(const QPoint& image) const { return host.canvas->imageToWidget(image); }

void EditorRig::chooseTool(const QString& id) {
  for (QToolButton* button : host.toolsDock->findChildren<QToolButton*>()) {
    if (button->property("toolId").toString() == id) {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  }
}

void EditorRig::press(const QPoint& image, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  QTest::mousePress(host.canvas, button, mods, at(image));
}

void EditorRig::moveTo(const QPoint& image, Qt::KeyboardModifiers mods) {
  QTest::mouseEvent(QTest::MouseMove, host.canvas, Qt::NoButton, mods, at(image));
}

void EditorRig::release(const QPoint& image, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  QTest::mouseRelease(host.canvas, button, mods, at(image));
}

void EditorRig::drag(const QList<QPoint>& path, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  press(path.first(), button, mods);
  for (qsizetype i = 1; i < path.size(); ++i) moveTo(path[i], mods);
  release(path.last(), button, mods);
}

void EditorRig::key(Qt::Key key) { QTest::keyClick(host.canvas, key); }

QStringList EditorRig::undoTexts() const {
  QStringList texts;
  for (int i = 0; i < host.canvas->undoStack.count(); ++i) texts << host.canvas->undoStack.text(i);
  return texts;
}

void whenModalShows(const std::function<bool(QWidget*)>& answer) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  // Counted as waiting while the timer lives, as answering while it answers.
  auto waiting = std::make_shared<testsupport::WaitingForDialog>();
  QObject::connect(timer, &QTimer::timeout, [timer, answer, waiting] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    testsupport::DrivingDialog driving;
    if (!answer(modal)) return;
    timer->stop();
    timer->deleteLater();
  });
  timer->start();
  QTimer::singleShot(10000, timer, &QObject::deleteLater);
}

bool StackState::operator==(const StackState& other) const {
  // The active layer is left out: choosing a row is not an undo step.
  return names == other.names && images == other.images;
}

StackState stackState(const Document* document) {
  StackState state;
  for (const auto& layer : document->layers) {
    state.names << layer->name + (layer->visible ? QString() : QStringLiteral(" (hidden)"));
    state.images << layer->image.copy();
  }
  state.active = document->activeIndex;
  return state;
}

int countPixels(const QImage& image, const std::function<bool(QRgb)>& test) {
  const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x)
      if (test(plain.pixel(x, y))) ++count;
  return count;
}

}  // namespace painttest

// Layers: the document's stack operations, the layers dock driven by clicks,
// the composite they give, and undo/redo of strokes mixed with layer changes
// restoring every layer's exact pixels at every step.
#include "PaintTestRig.h"
#include "paint/LayersDock.h"
#include "paint/MergeCommand.h"
#include "paint/PaintCommand.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace painttest;

namespace {

QRgb composite(const Document* document, int x, int y) {
  return document->mergedImage().convertToFormat(QImage::Format_ARGB32).pixel(x, y);
}

void clickDock(EditorRig& rig, const QString& text) {
  for (QPushButton* button : rig.host.layersDock->findChildren<QPushButton*>()) {
    if (button->text() == text) {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  }
  ADD_FAILURE() << "no dock button " << text.toStdString();
}

void chooseRowOfLayer(EditorRig& rig, int index) {
  rig.host.layersDock->list->setCurrentRow(int(rig.document()->layers.size()) - 1 - index);
}

int maxChannelDifference(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  int worst = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int column = 0; column < x.width(); ++column) {
      const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
      worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                        std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
    }
  return worst;
}

QStringList names(const Document* document) {
  QStringList list;
  for (const auto& layer : document->layers) list << layer->name;
  return list;
}

TEST(LayerStack, RemoveAndMoveFollowTheActiveIndexRules) {
  struct Case {
    const char* what;
    std::function<void(Document&)> change;
    QStringList names;
    int active;
  };
  const QList<Case> cases{
      {"remove below active", [](Document& d) { d.activeIndex = 2; d.removeLayer(0); }, {"X", "Y", "Z"}, 2},
      {"remove active top", [](Document& d) { d.activeIndex = 3; d.removeLayer(3); }, {"W", "X", "Y"}, 2},
      {"remove out of range", [](Document& d) { d.removeLayer(4); }, {"W", "X", "Y", "Z"}, 0},
      {"move up", [](Document& d) { d.moveLayer(1, 3); }, {"W", "Y", "Z", "X"}, 3},
      {"move down", [](Document& d) { d.moveLayer(3, 1); }, {"W", "Z", "X", "Y"}, 1},
  };
  for (const Case& c : cases) {
    Document document(QSize(4, 4));
    document.layers.first()->name = "W";
    for (const char* name : {"X", "Y", "Z"}) document.addLayer(QString::fromLatin1(name));
    document.activeIndex = 0;
    c.change(document);
    EXPECT_EQ(names(&document), c.names) << c.what;
    EXPECT_EQ(document.activeIndex, c.active) << c.what;
  }
  Document single(QSize(4, 4));
  single.removeLayer(0);
  EXPECT_EQ(single.layers.size(), 1);
  single.addLayer();
  single.addLayer();
  single.addLayer();
  EXPECT_EQ(single.layers.last()->name, "Слой 4");
  EXPECT_EQ(single.activeIndex, 3);
}

TEST(LayerStack, DockChangesGiveTheExpectedComposite) {
  EditorRig rig(QSize(60, 40));
  rig.canvas()->setToolSize(1);
  rig.canvas()->setPrimaryColor(Qt::red);
  rig.chooseTool("fill");
  clickDock(rig, "+");  // red layer
  rig.press({5, 5});
  rig.release({5, 5});
  clickDock(rig, "+");  // blue layer on top, left half only
  rig.canvas()->setPrimaryColor(Qt::blue);
  rig.chooseTool("fill");
  rig.press({5, 5});
  rig.release({5, 5});
  rig.chooseTool("select");
  rig.drag({{30, 0}, {59, 39}});
  rig.key(Qt::Key_Delete);
  rig.canvas()->clearSelection();
  Document* d = rig.document();
  ASSERT_EQ(names(d), (QStringList{"Факсимиле", "Слой 2", "Слой 3"}));
  EXPECT_EQ(composite(d, 10, 10), 0xff0000ffu);
  EXPECT_EQ(composite(d, 50, 10), 0xffff0000u);

  clickDock(rig, "↓");  // blue under red
  EXPECT_EQ(names(d), (QStringList{"Факсимиле", "Слой 3", "Слой 2"}));
  EXPECT_EQ(composite(d, 10, 10), 0xffff0000u);

  rig.host.layersDock->list->item(0)->setCheckState(Qt::Unchecked);  // hide red (top row)
  EXPECT_FALSE(d->layers[2]->visible);
  EXPECT_EQ(composite(d, 10, 10), 0xff0000ffu);
  EXPECT_EQ(composite(d, 50, 10), 0xffffffffu);
  rig.host.layersDock->list->item(0)->setCheckState(Qt::Checked);

  d->layers[2]->opacity = 0.5;  // red at half over blue
  const QRgb half = composite(d, 10, 10);
  EXPECT_NEAR(qRed(half), 128, 2);
  EXPECT_NEAR(qBlue(half), 127, 2);
  const QImage beforeMerge = d->mergedImage();

  chooseRowOfLayer(rig, 2);
  clickDock(rig, "М↓");  // red (with its opacity) into blue
  EXPECT_EQ(names(d), (QStringList{"Факсимиле", "Слой 3"}));
  EXPECT_LE(maxChannelDifference(d->mergedImage(), beforeMerge), 1);
  clickDock(rig, "М∗");
  EXPECT_EQ(names(d), QStringList{"Факсимиле"});
  EXPECT_LE(maxChannelDifference(d->mergedImage(), beforeMerge), 1);
  EXPECT_EQ(rig.undoTexts().mid(rig.undoTexts().size() - 2),
            (QStringList{"Объединить с нижним", "Объединить все слои"}));

  rig.canvas()->undoStack.undo();
  rig.canvas()->undoStack.undo();
  EXPECT_EQ(d->layers[2]->opacity, 0.5) << "undoing a merge keeps the layers' opacity";
  EXPECT_EQ(d->mergedImage(), beforeMerge);
}

TEST(LayerStack, UndoAndRedoOfStrokesMixedWithLayerChangesRestoreEveryStep) {
  EditorRig rig(QSize(80, 60));
  rig.canvas()->setPrimaryColor(QColor(20, 120, 40));
  rig.canvas()->setToolSize(5);
  QList<StackState> states{stackState(rig.document())};
  auto step = [&](const std::function<void()>& action) {
    action();
    states << stackState(rig.document());
  };
  auto stroke = [&](int y) { return [&, y] { rig.drag({{5, y}, {40, y + 3}, {75, y}}); }; };

  step(stroke(10));
  step([&] { clickDock(rig, "+"); });
  step(stroke(20));
  step([&] {
    chooseRowOfLayer(rig, 0);
    clickDock(rig, "↑");  // the picture goes above the new layer
  });
  step(stroke(30));  // lands in the moved picture, now index 1
  step([&] { clickDock(rig, "+"); });
  step(stroke(40));
  step([&] { clickDock(rig, "М↓"); });
  step(stroke(50));
  step([&] {
    chooseRowOfLayer(rig, 0);
    clickDock(rig, "−");
  });
  step(stroke(15));
  step([&] { clickDock(rig, "+"); });
  step(stroke(35));
  step([&] { clickDock(rig, "М∗"); });
  step(stroke(25));

  QUndoStack& stack = rig.canvas()->undoStack;
  ASSERT_EQ(stack.count(), states.size() - 1) << rig.undoTexts().join(", ").toStdString();
  for (qsizetype i = states.size() - 1; i > 0; --i) {
    stack.undo();
    EXPECT_TRUE(stackState(rig.document()) == states[i - 1]) << "after undoing step " << i;
  }
  for (qsizetype i = 1; i < states.size(); ++i) {
    stack.redo();
    EXPECT_TRUE(stackState(rig.document()) == states[i]) << "after redoing step " << i;
  }
}

TEST(LayerStack, CommandsOnAVanishedLayerDoNothing) {
  Document document(QSize(4, 4));
  QImage red(4, 4, QImage::Format_ARGB32_Premultiplied);
  red.fill(Qt::red);
  PaintCommand command(&document, 3, red, red, "Кисть");
  command.redo();
  command.undo();
  EXPECT_EQ(document.layers.first()->image.pixel(0, 0), 0xffffffffu);
  document.addLayer("hidden");
  document.layers[0]->visible = false;
  document.layers[1]->visible = false;
  EXPECT_EQ(document.mergedImage().pixel(1, 1), 0u);
}

}  // namespace

// Each state of a check box, a radio button and a push button can be told
// apart on screen in both themes: the controls are drawn with the theme's
// style sheet and their pixels compared.
#include "AppTestSupport.h"
#include "RibbonTestWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace apptest;

namespace {

// Pixels that stand out from the background by more than a faint shade.
int contrastingPixels(const QImage& image, QRgb background) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (std::abs(qGray(image.pixel(x, y)) - qGray(background)) > 40) ++count;
  return count;
}

// How much ink stands out from the background: the grey-level distance of
// every pixel, summed.
qint64 inkAmount(const QImage& image, QRgb background) {
  qint64 sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) sum += std::abs(qGray(image.pixel(x, y)) - qGray(background));
  return sum;
}

int differingPixels(const QImage& a, const QImage& b, int by = 25) {
  if (a.size() != b.size()) return a.width() * a.height();
  int count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > by) ++count;
  return count;
}

class ThemeWindow : public RibbonWindow {
 public:
  using MainWindow::redoButton;
  using MainWindow::setDarkTheme;
  using MainWindow::setLightTheme;
  using MainWindow::undoButton;
};

QImage grabbed(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

}  // namespace

TEST(Themes, EveryStateOfEveryControlShowsInBothThemes) {
  const QString before = qApp->styleSheet();
  for (const char* theme : {"light", "dark"}) {
    SCOPED_TRACE(theme);
    QFile sheet(QStringLiteral(":/resources/styles/%1.qss").arg(QLatin1String(theme)));
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));

    QWidget panel;
    auto* layout = new QVBoxLayout(&panel);
    QCheckBox box, checkedBox, disabledBox;
    QRadioButton radio, checkedRadio;
    checkedBox.setChecked(true);
    disabledBox.setEnabled(false);
    checkedRadio.setChecked(true);
    QPushButton button(QStringLiteral("OK")), disabledButton(QStringLiteral("OK"));
    disabledButton.setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{&box, &checkedBox, &disabledBox, &radio, &checkedRadio, &button,
                                                      &disabledButton})
      layout->addWidget(w);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QRgb background = grabbed(&panel).pixel(1, 1);

    // An empty box and an empty circle are drawn, not left blank.
    EXPECT_GT(contrastingPixels(grabbed(&box), background), 20);
    EXPECT_GT(contrastingPixels(grabbed(&radio), background), 20);
    // Checked and unchecked, enabled and disabled differ.
    EXPECT_GT(differingPixels(grabbed(&box), grabbed(&checkedBox)), 20);
    EXPECT_GT(differingPixels(grabbed(&radio), grabbed(&checkedRadio)), 8);
    EXPECT_GT(differingPixels(grabbed(&box), grabbed(&disabledBox)), 8);
    // A disabled button loses its look as a whole, not only in its letters.
    const QImage enabledLook = grabbed(&button), disabledLook = grabbed(&disabledButton);
    EXPECT_GT(differingPixels(enabledLook, disabledLook, 10), enabledLook.width() * enabledLook.height() / 2);
    // A menu item that cannot be chosen (the block menu's "Редактировать" for
    // a text line) stands out far less than one that can, shorter as it is.
    QMenu menu;
    QAction* live = menu.addAction(QStringLiteral("Копировать"));
    QAction* dead = menu.addAction(QStringLiteral("Редактировать"));
    dead->setEnabled(false);
    menu.popup(panel.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    const QImage menuLook = grabbed(&menu);
    const auto ink = [&](QAction* item) {
      const QRect r = menu.actionGeometry(item);
      return inkAmount(menuLook.copy(r), menuLook.pixel(r.right() - 2, r.top() + 2));
    };
    EXPECT_LT(ink(dead), ink(live) / 2);
  }
  qApp->setStyleSheet(before);
}

// The window's disabled ribbon buttons (Undo, Redo, B, I, U, the form
// fields) fade: drawn on the ribbon, their icon and letters stand out far
// less than the same button's enabled, in both themes.
TEST(Themes, DisabledRibbonButtonsLookDisabledInBothThemes) {
  useCleanSettings();
  const QString before = qApp->styleSheet();
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    ThemeWindow window;
    if (dark)
      window.setDarkTheme();
    else
      window.setLightTheme();
    window.resize(1500, 920);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QList<QToolButton*> buttons = {window.undoButton, window.redoButton, window.boldButton, window.italicButton,
                                   window.underlineButton};
    for (QToolButton* button : window.findChildren<QToolButton*>())
      if (button->toolTip().endsWith(QStringLiteral("Команда пока недоступна"))) buttons << button;
    ASSERT_GE(buttons.size(), 9);
    for (QToolButton* button : buttons) {
      ASSERT_NE(button, nullptr);
      window.ribbon->setCurrentWidget(window.ribbon->widget(0));
      for (int tab = 0; tab < window.ribbon->count(); ++tab)
        if (window.ribbon->widget(tab)->isAncestorOf(button)) window.ribbon->setCurrentIndex(tab);
      QTest::qWait(10);
      ASSERT_FALSE(button->isEnabled());
      const auto look = [&window, button] {
        QApplication::processEvents();
        return window.grab(QRect(button->mapTo(&window, QPoint(0, 0)), button->size()))
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
      };
      const QImage deadLook = look();
      button->setEnabled(true);
      const QImage liveLook = look();
      button->setEnabled(false);
      const QRgb background = liveLook.pixel(1, 1);
      const qint64 liveInk = inkAmount(liveLook, background), deadInk = inkAmount(deadLook, background);
      EXPECT_LT(deadInk, liveInk / 2) << button->toolTip().toStdString() << ": " << liveInk << " " << deadInk;
    }
  }
  qApp->setStyleSheet(before);
}

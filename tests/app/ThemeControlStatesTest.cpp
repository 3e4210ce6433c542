// Each state of a check box, a radio button and a push button can be told
// apart on screen in both themes: the controls are drawn with the theme's
// style sheet and their pixels compared.
#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
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

int differingPixels(const QImage& a, const QImage& b, int by = 25) {
  if (a.size() != b.size()) return a.width() * a.height();
  int count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > by) ++count;
  return count;
}

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
  }
  qApp->setStyleSheet(before);
}

// "Свойства документа" against pdfinfo and pdffonts: file name, page count,
// the file's own PDF version, its encryption, and the fonts of its text. The
// password and annotation forms only close.
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/RawPdf.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace apptest;

namespace {

QString pdfinfoField(const QString& file, const QString& field) {
  QByteArray out;
  if (testsupport::runTool("pdfinfo", {file}, &out) != 0) return QStringLiteral("<pdfinfo failed>");
  const QRegularExpression line(QStringLiteral("^%1:\\s+(.*)$").arg(field), QRegularExpression::MultilineOption);
  return line.match(QString::fromUtf8(out)).captured(1).trimmed();
}

// Base font names as pdffonts lists them, without a subset tag.
QStringList pdffontsNames(const QString& file) {
  QByteArray out;
  if (testsupport::runTool("pdffonts", {file}, &out) != 0) return {};
  QStringList names;
  const QStringList rows = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (qsizetype i = 2; i < rows.size(); ++i)
    names.append(rows[i].section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).section(QLatin1Char('+'), -1));
  return names;
}

// Name and value of every row of the "Общие" tab, and the other tabs' contents.
struct ShownProperties {
  QMap<QString, QString> facts;
  QString protection;
  QStringList fonts;
};

ShownProperties readDialog(QDialog* dialog) {
  ShownProperties shown;
  auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
  auto* grid = qobject_cast<QGridLayout*>(tabs->widget(0)->layout());
  for (int row = 0; row < grid->rowCount(); ++row) {
    QLayoutItem* name = grid->itemAtPosition(row, 0);
    QLayoutItem* value = grid->itemAtPosition(row, 1);
    if (!name || !value) continue;
    shown.facts.insert(qobject_cast<QLabel*>(name->widget())->text(), qobject_cast<QLabel*>(value->widget())->text());
  }
  shown.protection = tabs->widget(1)->findChild<QLabel*>()->text();
  auto* list = tabs->widget(2)->findChild<QListWidget*>();
  for (int i = 0; i < list->count(); ++i) shown.fonts.append(list->item(i)->text());
  return shown;
}

class DocumentPropertiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    window = std::make_unique<RibbonWindow>(AppProduct::Editor);
    window->resize(1300, 900);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  QDialog* openDialog() {
    return dialogOpenedBy(window.get(), [this] {
      QTabWidget* ribbon = window->ribbon;
      for (int i = 0; i < ribbon->count(); ++i)
        if (ribbon->tabText(i) == QStringLiteral("Разметка")) ribbon->setCurrentIndex(i);
      for (QToolButton* b : ribbon->currentWidget()->findChildren<QToolButton*>())
        if (b->text() == QStringLiteral("Свойства")) QTest::mouseClick(b, Qt::LeftButton);
    });
  }

  QTemporaryDir dir;
  std::unique_ptr<RibbonWindow> window;
};

}  // namespace

TEST_F(DocumentPropertiesTest, FactsAgreeWithPdfinfoAndPdffonts) {
  if (!testsupport::hasTool("qpdf") || !testsupport::hasTool("pdffonts")) GTEST_SKIP() << "oracles missing";
  const QString plain = dir.filePath(QStringLiteral("plain.pdf"));
  ASSERT_TRUE(writeRawPdf(plain, {{textLine("F1", 14, 72, 700, "Sans text") + textLine("F3", 14, 72, 650, "Serif")},
                                  {textLine("F1", 14, 72, 700, "second")}}));
  const QString old = dir.filePath(QStringLiteral("version15.pdf"));
  const QString locked = dir.filePath(QStringLiteral("owner-locked.pdf"));
  ASSERT_EQ(testsupport::runTool("qpdf", {"--force-version=1.5", plain, old}), 0);
  // Only an owner password: the file opens without one, and is encrypted.
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "", "owner-secret", "256", "--", plain, locked}), 0);
  // Courier is drawn only by a form the page paints.
  const QString form = dir.filePath(QStringLiteral("form.pdf"));
  ASSERT_TRUE(handwritten::writePdf(
      form, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
             "/Resources << /Font << /F1 6 0 R >> /XObject << /Fx 5 0 R >> >> >>",
             handwritten::stream(textLine("F1", 14, 72, 700, "page text") + "/Fx Do\n"),
             handwritten::stream(textLine("F9", 14, 72, 600, "form text"),
                                 "/Type /XObject /Subtype /Form /BBox [0 0 595 842] "
                                 "/Resources << /Font << /F9 7 0 R >> >>"),
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
             "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>"}));

  for (const QString& file : {old, locked, form}) {
    SCOPED_TRACE(QFileInfo(file).fileName().toStdString());
    window->openFile(file);
    ASSERT_TRUE(window->currentDocument->isOpen());
    QDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    const ShownProperties shown = readDialog(dialog);
    EXPECT_EQ(shown.facts.value(QStringLiteral("Имя файла:")), QFileInfo(file).fileName());
    EXPECT_EQ(shown.facts.value(QStringLiteral("Страниц:")), pdfinfoField(file, QStringLiteral("Pages")));
    EXPECT_EQ(shown.facts.value(QStringLiteral("Версия PDF:")), pdfinfoField(file, QStringLiteral("PDF version")));
    const bool encrypted = pdfinfoField(file, QStringLiteral("Encrypted")).startsWith(QStringLiteral("yes"));
    EXPECT_EQ(shown.protection, encrypted ? QStringLiteral("Защита: файл зашифрован") : QStringLiteral("Защита: нет"));
    QStringList used = pdffontsNames(file);
    used.removeDuplicates();
    ASSERT_EQ(shown.fonts.size(), used.size());
    for (QString entry : shown.fonts) {
      entry.remove(QStringLiteral(" Bold")).remove(QStringLiteral(" Italic"));
      EXPECT_TRUE(used.contains(entry) || used.contains(entry + QStringLiteral("-Italic")))
          << entry.toStdString() << " not in " << used.join(',').toStdString();
    }
    dialog->close();
  }
}

TEST_F(DocumentPropertiesTest, WithoutADocumentEveryFactIsADash) {
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  const ShownProperties shown = readDialog(dialog);
  ASSERT_EQ(shown.facts.size(), 6);
  for (const QString& value : shown.facts) EXPECT_EQ(value, QStringLiteral("—"));
  EXPECT_EQ(shown.fonts, QStringList{QStringLiteral("Документ не открыт")});
}

TEST_F(DocumentPropertiesTest, PasswordAndAnnotationFormsOnlyClose) {
  const QString file = dir.filePath(QStringLiteral("one.pdf"));
  ASSERT_TRUE(testsupport::writePdf(file, {{QStringLiteral("one")}}));
  window->openFile(file);
  const auto run = [this](const std::function<void()>& open, const QString& title, const QString& button) {
    QDialog* dialog = dialogOpenedBy(window.get(), open);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), title);
    if (auto* edit = dialog->findChild<QLineEdit*>()) QTest::keyClicks(edit, QStringLiteral("typed"));
    QPointer<QDialog> alive(dialog);
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == button) QTest::mouseClick(b, Qt::LeftButton);
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());  // closed and deleted
  };
  // The ribbon's "Пароль" tells what the document's lock is; passwords are
  // asked for when a locked file opens.
  auto seen = answerNextDialog(QStringLiteral("OK"), QStringLiteral("Пароль PDF"));
  window->showPasswordDialog();
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("не защищён паролем"))) << seen->texts.toStdString();
  run([this] { window->showAnnotationPropertiesDialog(); }, QStringLiteral("Свойства аннотации"), QStringLiteral("ОК"));
  EXPECT_FALSE(window->currentDocument->isModified());
}

// The security tab shows the file's own permissions and lets nobody tick
// them; the font list holds every font pdffonts finds, on every page.
TEST_F(DocumentPropertiesTest, PermissionsAreTheFilesAndEveryFontIsListed) {
  if (!testsupport::hasTool("qpdf") || !testsupport::hasTool("pdffonts")) GTEST_SKIP() << "oracles missing";
  QList<RawPage> pages;
  for (int i = 0; i < 24; ++i) pages.append(RawPage(textLine("F1", 14, 72, 700, "body text")));
  pages.append(RawPage(textLine("F3", 14, 72, 700, "italic at the end") + textLine("F2", 14, 72, 650, "bold")));
  const QString plain = dir.filePath(QStringLiteral("long.pdf"));
  ASSERT_TRUE(writeRawPdf(plain, pages));
  const QString locked = dir.filePath(QStringLiteral("no-print.pdf"));
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "", "owner-secret", "256", "--print=none", "--extract=n", "--",
                                          plain, locked}),
            0);
  struct Case {
    QString file;
    bool print, copy, modify;
  };
  for (const Case& c : {Case{plain, true, true, true}, Case{locked, false, false, true}}) {
    SCOPED_TRACE(QFileInfo(c.file).fileName().toStdString());
    window->openFile(c.file);
    QDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
    QMap<QString, QCheckBox*> boxes;
    for (QCheckBox* box : tabs->widget(1)->findChildren<QCheckBox*>()) boxes.insert(box->text(), box);
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_EQ(boxes.value(QStringLiteral("Разрешить печать"))->isChecked(), c.print);
    EXPECT_EQ(boxes.value(QStringLiteral("Разрешить копирование текста"))->isChecked(), c.copy);
    EXPECT_EQ(boxes.value(QStringLiteral("Разрешить редактирование"))->isChecked(), c.modify);
    for (QCheckBox* box : boxes) {
      EXPECT_FALSE(box->isEnabled());
      const bool before = box->isChecked();
      QTest::mouseClick(box, Qt::LeftButton);
      EXPECT_EQ(box->isChecked(), before);
    }
    QStringList shown = readDialog(dialog).fonts;
    QStringList used = pdffontsNames(c.file);
    used.removeDuplicates();
    shown.sort();
    used.sort();
    EXPECT_EQ(shown, used);
    dialog->close();
  }
}

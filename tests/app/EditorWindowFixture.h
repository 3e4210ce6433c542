#pragma once
// A shown editor window with a one-page document and one text block open in
// its in-place editor, all of its text selected.

#include "../view/BlockTestData.h"
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>

namespace apptest {

class EditorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("page.pdf"));
    ASSERT_TRUE(testsupport::writePdf(path, {testsupport::PageSpec{QStringLiteral("Page text"), false, {595, 842}}}));
    window = std::make_unique<RibbonWindow>(product());
    window->resize(1300, 900);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
    window->view->setZoom(1.0);
  }

  void TearDown() override { window.reset(); }

  virtual AppProduct product() const { return AppProduct::Editor; }

  // Opens the editor on one block and selects its whole text.
  QTextEdit* openEditor() {
    window->view->setOcrBlocks({blocktest::nativeBlock(QStringLiteral("Alpha beta gamma"), QRectF(60, 700, 300, 24), 14.0f)},
                               0, false);
    window->view->setEditMode(true);
    window->view->activateOcrBlock(0);
    QTextEdit* editor = window->view->activeTextEditor();
    if (!editor) return nullptr;
    QTextCursor all(editor->document());
    all.select(QTextCursor::Document);
    editor->setTextCursor(all);
    return editor;
  }

  QTemporaryDir dir;
  QString path;
  std::unique_ptr<RibbonWindow> window;
};

}  // namespace apptest

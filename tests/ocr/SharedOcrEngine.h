#pragma once
// One recognition engine for a whole test suite: starting tesseract with two
// languages costs about a second, so each suite starts it once.

#include "ocr/OcrEngine.h"

#include <gtest/gtest.h>

#include <memory>

namespace ocrtest {

class SharedOcrEngineTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    engine = std::make_unique<OcrEngine>();
    ready = engine->init(QStringLiteral("rus+eng"));
  }
  static void TearDownTestSuite() { engine.reset(); }
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "tesseract language data rus+eng not installed";
  }

  static inline std::unique_ptr<OcrEngine> engine;
  static inline bool ready = false;
};

}  // namespace ocrtest

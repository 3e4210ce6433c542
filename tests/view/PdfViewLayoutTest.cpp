#include <gtest/gtest.h>
#include "view/PdfView.h"
TEST(PdfViewLayout, Builds) { PdfView view; EXPECT_EQ(view.currentPageIndex(), 0); }

#include <QWidget>
#include <gtest/gtest.h>

TEST(GuiSmokeTest, OffscreenPlatformCreatesWidgets) {
  QWidget w;
  w.resize(100, 100);
  EXPECT_EQ(w.width(), 100);
}

// Test main for every test that needs Qt: widgets run on the offscreen platform, so the suite
// needs no display.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // An offscreen platform named with options (a screen configuration, for instance) is kept.
  if (!qgetenv("QT_QPA_PLATFORM").startsWith("offscreen")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

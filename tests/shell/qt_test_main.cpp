#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

// Qt tests run on the offscreen platform; gtest_discover_tests runs this binary at build time too.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

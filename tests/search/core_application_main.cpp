#include <gtest/gtest.h>

#include <QCoreApplication>

// The fetch dispatches the window thread's events while it waits, which needs an application
// object; the nested-command tests post their inner command as such an event.
int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

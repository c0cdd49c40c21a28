// The explorer's tests run in one QApplication on the offscreen platform
// (unless the caller chose one), with worker notifications delivered through
// the event loop as in the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "controls/main_thread.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  tessel::controls::InstallSynchronizeHook();
  const int result = RUN_ALL_TESTS();
  tessel::controls::RemoveSynchronizeHook();
  return result;
}

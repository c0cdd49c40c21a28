// The designer's tests run inside one QApplication on the offscreen platform
// unless a platform is named, with the package's components and editors
// registered as the program registers them.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "controls/main_thread.h"
#include "design/lqSQLEditors.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // No display name: Qt would append it to every dialog's caption.
  QApplication::setApplicationName("tessel-designer");
  tessel::controls::InstallSynchronizeHook();
  tessel::Register();
  const int result = RUN_ALL_TESTS();
  tessel::controls::RemoveSynchronizeHook();
  return result;
}

#include "controls/main_thread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "framework/thread.h"

namespace tessel::controls {

void InstallSynchronizeHook() {
  SetWakeMainThread([] {
    // Called in the worker: the call itself runs later in the main thread.
    if (QCoreApplication* app = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(
          app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    }
  });
}

void RemoveSynchronizeHook() {
  SetWakeMainThread(nullptr);
}

}  // namespace tessel::controls

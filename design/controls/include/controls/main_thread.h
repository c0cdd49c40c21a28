#pragma once

// Lets a Qt program receive what worker threads hand to the main thread
// (TThread::Synchronize, as an asynchronous open reports its end and its
// progress): the framework's wake-up hook posts a call of CheckSynchronize
// to the Qt event loop. Call once, in the main thread, after the
// QApplication exists; RemoveSynchronizeHook before it goes.

namespace tessel::controls {

void InstallSynchronizeHook();
void RemoveSynchronizeHook();

}  // namespace tessel::controls

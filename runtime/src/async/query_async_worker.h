#pragma once

// What the asynchronous-work sources share: which query the calling thread is
// the worker of.

namespace tessel {

class TTessel;

// True in the worker thread of Query's running operation.
bool IsAsyncWorkerOf(const TTessel* Query);

}  // namespace tessel

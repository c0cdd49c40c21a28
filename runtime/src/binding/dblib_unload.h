#pragma once

namespace tessel::detail {

// Makes sure FinalizeDBLIB runs when the process ends. Called by the first
// load and the first switch of tracing, so the static object it creates is
// destroyed before the state FinalizeDBLIB still touches.
void RunFinalizeAtExit();

}  // namespace tessel::detail

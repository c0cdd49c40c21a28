#pragma once

// The demo's asynchronous step: a large result opened in a worker thread
// with progress reports, and a long statement cancelled.

namespace tessel {
class TSQLServer;
}

// Runs the step on an open server; prints what happens. Main thread.
void DemoAsync(tessel::TSQLServer& server);

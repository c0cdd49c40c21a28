#pragma once

// The demo's text-column step: a memo read, written and read back.

#include "runtime/SQLServer.h"

namespace tessel::demo {

// Creates tessel_demo_notes when missing, reads a memo, writes a longer one
// through the field and posts it, and reads it back from the server.
void DemoBlob(TSQLServer& server);

}  // namespace tessel::demo

#pragma once

// The command line and life cycle of tessel-sqld: options, logins, the
// listener, and a clean stop on SIGTERM or SIGINT. The engine comes from a
// factory so that tests can serve a stand-in engine with the same program
// logic. Main thread only.

#include <functional>
#include <memory>

#include "sqld/engine.h"

namespace tessel::sqld::app {

using EngineFactory = std::function<std::unique_ptr<Engine>(const EngineOptions&)>;

// Runs the server until a signal arrives; returns the process exit code.
int serverMain(int argc, char** argv, const EngineFactory& makeEngine);

}  // namespace tessel::sqld::app

#pragma once

// The common entry of the benchmarks: `--help` prints the usage, any other
// argument is refused with it, and a failure of the run is reported with the
// program's name instead of escaping main. Returns the exit code.

#include <cstdio>
#include <cstring>
#include <exception>

#include "framework/exceptions.h"

namespace tessel::testing {

template <class Run>
int BenchmarkMain(int argc, char** argv, const char* program, const char* usage, Run run) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0;
    std::fputs(usage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  try {
    return run();
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s: %s: %s\n", program, e.ClassName().c_str(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program, e.what());
  }
  return 1;
}

}  // namespace tessel::testing

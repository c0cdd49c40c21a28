// FreeTDS's archive reaches stdout and stderr as ftds_stdout and ftds_stderr (see
// dblib/CMakeLists.txt): these are the C library's own streams.
#include <cstdio>

extern "C" {
__attribute__((visibility("hidden"))) FILE* ftds_stdout = nullptr;
__attribute__((visibility("hidden"))) FILE* ftds_stderr = nullptr;
}

namespace {

__attribute__((constructor)) void BindFreeTdsStreams() {
  ftds_stdout = stdout;
  ftds_stderr = stderr;
}

}  // namespace

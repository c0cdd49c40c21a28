// Sanitizer settings for test programs that load libntwdblib.so.
//
// The client library is loaded with dlopen, and so are its dependencies
// (GnuTLS among them); their thread-locals live in dynamic TLS blocks that
// glibc mallocs on first use. The sanitizer runtime of GCC 12 records each
// block through its __tls_get_addr interceptor and, when the block's address
// lies 16 bytes into a page, mistakes it for an old glibc layout and reads a
// bogus range from the heap bytes before it. LeakSanitizer then dies scanning
// that range at exit ("Tracer caught signal 11") after every test passed. It
// depends only on where the allocator puts a 16-byte block, so any change to
// a program's allocations can make it appear or vanish.
//
// Turning the interceptor off leaves dynamic TLS blocks as the ordinary heap
// blocks they are: the static TLS of every thread is still scanned, and a
// pointer kept only in a dynamic block would at worst show as a leak, never be
// missed. The environment's ASAN_OPTIONS still apply on top of this.

#include <cstdlib>
#include <string>

extern "C" const char* __asan_default_options() {
  return "intercept_tls_get_addr=0";
}

namespace {

// The programs a test starts (tessel-run, tessel-explorer) load the library
// as well; they take the setting from the environment they inherit.
const bool kPassedToChildren = [] {
  const char* given = std::getenv("ASAN_OPTIONS");
  std::string options = given != nullptr ? given : "";
  if (options.find("intercept_tls_get_addr") == std::string::npos) {
    options += options.empty() ? "intercept_tls_get_addr=0" : ":intercept_tls_get_addr=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
  }
  return true;
}();

}  // namespace

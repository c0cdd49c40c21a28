// tessel-dblib-probe: loads the DB-Library client library the way the
// components do, and says which file it loaded and whether every entry point
// the package needs is there.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/lqSQLdb.h"

namespace {

void PrintHelp() {
  std::puts(
      "Usage: tessel-dblib-probe [--library FILE]\n"
      "\n"
      "Loads the DB-Library client library through Tessel's binding, checks that\n"
      "all 54 entry points the package uses are exported, and calls dbinit.\n"
      "\n"
      "  --library FILE  load FILE (a path or a library name) instead of the\n"
      "                  default; the same as setting TESSEL_DBLIB=FILE\n"
      "  --help          show this text\n"
      "\n"
      "Without either, the library named by TESSEL_DBLIB is loaded, or else\n"
      "libntwdblib.so, then ntwdblib.so, from the dynamic loader's search path.\n"
      "Exit status: 0 when the library is loaded and complete, 1 otherwise.");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc) {
      setenv("TESSEL_DBLIB", argv[++i], 1);
      continue;
    }
    std::fprintf(stderr, "tessel-dblib-probe: unknown argument '%s' (try --help)\n", argv[i]);
    return 1;
  }
  try {
    tessel::InitializeDBLIB();
  } catch (const tessel::ElqDBLIBError& e) {
    std::fprintf(stderr, "tessel-dblib-probe: %s\n  %s\n", e.Message().c_str(),
                 tessel::LastDBLIBLoadError().c_str());
    return 1;
  }
  std::printf("client library: %s\n", tessel::LoadedDBLIBName().c_str());
  std::printf("entry points: all 54 bound\n");
  const char* version = tessel::dbinit();
  std::printf("dbinit: %s\n", version != nullptr ? version : "(failed)");
  return version != nullptr ? 0 : 1;
}

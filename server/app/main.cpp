// tessel-sqld: the TDS listener serving the SQLite engine.

#include "server_main.h"

int main(int argc, char** argv) {
  return tessel::sqld::app::serverMain(argc, argv, [](const tessel::sqld::EngineOptions& o) {
    return tessel::sqld::createSqliteEngine(o);
  });
}

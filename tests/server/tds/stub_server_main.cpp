// tds_stub_server: tessel-sqld's program logic serving the stub engine, for
// tests that drive the listener with independent clients.

#include "server_main.h"
#include "stub_engine.h"

int main(int argc, char** argv) {
  return tessel::sqld::app::serverMain(argc, argv, tessel::sqld::test::createStubEngine);
}

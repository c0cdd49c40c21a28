// tessel-sqld with python-tds's multiple active result sets: sessions
// interleaved on one connection, and a killed connection reset at once.

#include <gtest/gtest.h>

#include "sqld_script.h"

namespace tessel::sqld::test {
namespace {

TEST(Mars, InterleavedSessionsShareOneConnectionAndKillResetsIt) {
  ExpectSqldScriptPasses("mars_client.py", "Sa-pw1");
}

}  // namespace
}  // namespace tessel::sqld::test

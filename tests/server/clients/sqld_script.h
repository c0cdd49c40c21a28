#pragma once

// Runs one of this folder's Python client scripts against a tessel-sqld of
// its own (in memory, sa's password given), passing the port and the
// password, and checks that the script ends with "OK" and the server then
// stops cleanly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server_process.h"

namespace tessel::sqld::test {

inline void ExpectSqldScriptPasses(const std::string& script, const std::string& password,
                                   const std::vector<std::string>& moreArgs = {}) {
  std::vector<std::string> args = {"--password", password, "--memory"};
  args.insert(args.end(), moreArgs.begin(), moreArgs.end());
  ServerProcess server(TESSEL_SQLD, args);
  const ProcessResult r =
      runProgram({"/usr/bin/python3", std::string(CLIENT_SCRIPTS_DIR) + "/" + script,
                  std::to_string(server.port()), password});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("\nOK"), std::string::npos) << r.output;
  EXPECT_EQ(server.stop(), 0);
}

}  // namespace tessel::sqld::test

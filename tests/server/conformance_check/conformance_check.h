#pragma once

// Reads the T-SQL conformance files (tests/server/engine/conformance, format
// in its README.md) and checks what a client saw for one case against the
// file's expectations. Each runner turns its client's answers into Observed.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessel::sqld::conformance {

struct Case {
  int line = 0;                     // of the directive
  std::string kind;                 // statement, query, metadata, message
  std::string connection = "main";  // the session the batch runs on
  std::vector<std::string> args;
  std::string sql;
  std::vector<std::string> expected;
};

std::vector<Case> ReadCases(const std::filesystem::path& path);

// The .test files of the suite, sorted by name.
std::vector<std::string> TestFiles();

// A test name for a file: its name without the extension.
std::string FileTestName(const ::testing::TestParamInfo<std::string>& info);

// One batch's answer, written as the file writes it.
struct Observed {
  std::vector<int> errors;            // numbers of messages of severity above 10
  std::vector<std::string> rows;      // "v1|v2|..." of every result set
  std::vector<std::string> columns;   // "name type null|not null" ("-" for no name)
  std::vector<std::string> messages;  // "number text" of every message
};

// Records a test failure for each way `observed` differs from the case.
// `where` names the case, `details` is added to failures (messages seen ...).
void CheckCase(const Case& c, const Observed& observed, const std::string& where,
               const std::string& details);

}  // namespace tessel::sqld::conformance

#include "conformance_check.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace tessel::sqld::conformance {

namespace fs = std::filesystem;

namespace {

std::string joinLines(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += "    " + s + "\n";
  return out;
}

void expectLines(const std::vector<std::string>& got, const std::vector<std::string>& expected,
                 const std::string& where, const std::string& details) {
  EXPECT_EQ(got, expected) << where << "expected:\n"
                           << joinLines(expected) << "got:\n"
                           << joinLines(got) << details;
}

}  // namespace

std::vector<Case> ReadCases(const fs::path& path) {
  std::ifstream in(path);
  std::vector<Case> cases;
  std::string line;
  int lineNo = 0;
  auto next = [&] {
    if (!std::getline(in, line)) return false;
    ++lineNo;
    return true;
  };
  std::string connection = "main";
  while (next()) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream directive(line);
    Case c;
    c.line = lineNo;
    if (!(directive >> c.kind)) continue;
    for (std::string w; directive >> w;) c.args.push_back(w);
    // "connection NAME" has no batch: the cases after it run on that session.
    if (c.kind == "connection") {
      if (!c.args.empty()) connection = c.args[0];
      continue;
    }
    c.connection = connection;
    while (next() && line != "go") c.sql += line + "\n";
    if (c.kind != "statement") {
      while (next() && !line.empty()) c.expected.push_back(line);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::vector<std::string> TestFiles() {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(TESSEL_CONFORMANCE_DIR))
    if (e.path().extension() == ".test") files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string FileTestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.find('.'));
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

void CheckCase(const Case& c, const Observed& o, const std::string& where,
               const std::string& details) {
  if (c.kind == "statement" && !c.args.empty() && c.args[0] == "error") {
    for (std::size_t i = 1; i < c.args.size(); ++i) {
      const int number = std::stoi(c.args[i]);
      EXPECT_NE(std::find(o.errors.begin(), o.errors.end(), number), o.errors.end())
          << where << "expected error " << number << ", got:\n"
          << details;
    }
    return;
  }
  if (c.kind != "message") {
    EXPECT_TRUE(o.errors.empty()) << where << "unexpected errors:\n" << details;
  }
  if (c.kind == "query") {
    auto rows = o.rows;
    auto expected = c.expected;
    if (std::find(c.args.begin(), c.args.end(), "rowsort") != c.args.end()) {
      std::sort(rows.begin(), rows.end());
      std::sort(expected.begin(), expected.end());
    }
    expectLines(rows, expected, where, details);
  } else if (c.kind == "metadata") {
    expectLines(o.columns, c.expected, where, details);
  } else if (c.kind == "message") {
    expectLines(o.messages, c.expected, where, details);
  }
}

}  // namespace tessel::sqld::conformance

// Runs the T-SQL conformance files (conformance/*.test) against the engine
// through the Session interface, one fresh in-memory engine per file.
// The file format is described in conformance/README.md.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "recording_sink.h"
#include "sqld/engine.h"

namespace tessel::sqld::testing {
namespace {

namespace fs = std::filesystem;

struct Case {
  int line = 0;
  std::string kind;  // statement, query, metadata, message
  std::vector<std::string> args;
  std::string sql;
  std::vector<std::string> expected;
};

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::vector<Case> parseFile(const fs::path& path) {
  std::ifstream in(path);
  std::vector<Case> cases;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    Case c;
    c.line = lineNo;
    auto w = words(line);
    if (w.empty()) continue;
    c.kind = w[0];
    c.args.assign(w.begin() + 1, w.end());
    while (std::getline(in, line)) {
      ++lineNo;
      if (line == "go") break;
      c.sql += line + "\n";
    }
    if (c.kind != "statement") {
      while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty()) break;
        c.expected.push_back(line);
      }
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string describeMessages(const RecordingSink& sink) {
  std::string out;
  for (const auto& m : sink.messages)
    out += "  msg " + std::to_string(m.number) + " sev " + std::to_string(m.severity) + ": " +
           m.text + "\n";
  return out;
}

std::vector<std::string> renderRows(const RecordingSink& sink) {
  std::vector<std::string> rows;
  for (const auto& rs : sink.results) {
    for (const auto& r : rs.rows) {
      std::string line;
      for (std::size_t i = 0; i < r.size(); ++i)
        line += (i ? "|" : "") + renderValue(r[i], rs.columns[i].type);
      rows.push_back(line);
    }
  }
  return rows;
}

std::string joinLines(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += "    " + s + "\n";
  return out;
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, File) {
  fs::path path = fs::path(TESSEL_CONFORMANCE_DIR) / GetParam();
  auto engine = createSqliteEngine(EngineOptions{});
  LoginInfo login;
  login.user = "sa";
  login.appName = "conformance";
  Message error;
  auto session = engine->openSession(login, error);
  ASSERT_TRUE(session) << error.text;
  CancelFlag cancel;
  for (const Case& c : parseFile(path)) {
    RecordingSink sink;
    session->executeBatch(c.sql, sink, cancel);
    std::string where = GetParam() + ":" + std::to_string(c.line) + "\n" + c.sql;
    ASSERT_FALSE(sink.dones.empty()) << where << "no Done";
    EXPECT_FALSE(sink.dones.back().more) << where << "last Done has more set";
    auto errors = sink.errors();
    bool expectError = c.kind == "statement" && !c.args.empty() && c.args[0] == "error";
    if (expectError) {
      for (std::size_t i = 1; i < c.args.size(); ++i) {
        int number = std::stoi(c.args[i]);
        bool found = std::any_of(errors.begin(), errors.end(),
                                 [&](const Message& m) { return m.number == number; });
        EXPECT_TRUE(found) << where << "expected error " << number << ", got:\n"
                           << describeMessages(sink);
      }
      continue;
    }
    if (c.kind != "message") {
      EXPECT_TRUE(errors.empty()) << where << "unexpected errors:\n" << describeMessages(sink);
    }
    if (c.kind == "query") {
      auto rows = renderRows(sink);
      auto expected = c.expected;
      bool rowsort = std::find(c.args.begin(), c.args.end(), "rowsort") != c.args.end();
      if (rowsort) {
        std::sort(rows.begin(), rows.end());
        std::sort(expected.begin(), expected.end());
      }
      EXPECT_EQ(rows, expected) << where << "expected:\n"
                                << joinLines(expected) << "got:\n"
                                << joinLines(rows) << describeMessages(sink);
    } else if (c.kind == "metadata") {
      std::vector<std::string> got;
      for (const auto& rs : sink.results)
        for (const auto& col : rs.columns)
          got.push_back((col.name.empty() ? "-" : col.name) + " " + renderType(col.type) +
                        (col.type.nullable ? " null" : " not null"));
      EXPECT_EQ(got, c.expected) << where << "expected:\n"
                                 << joinLines(c.expected) << "got:\n"
                                 << joinLines(got);
    } else if (c.kind == "message") {
      std::vector<std::string> got;
      for (const auto& m : sink.messages) got.push_back(std::to_string(m.number) + " " + m.text);
      EXPECT_EQ(got, c.expected) << where << "expected:\n"
                                 << joinLines(c.expected) << "got:\n"
                                 << joinLines(got);
    }
  }
}

std::vector<std::string> testFiles() {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(TESSEL_CONFORMANCE_DIR))
    if (e.path().extension() == ".test") files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(Engine, Conformance, ::testing::ValuesIn(testFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tessel::sqld::testing

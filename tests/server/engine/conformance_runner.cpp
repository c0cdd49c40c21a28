// Runs the T-SQL conformance files (conformance/*.test) against the engine
// through the Session interface, one fresh in-memory engine per file.
// The file format is described in conformance/README.md.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "conformance_check.h"
#include "recording_sink.h"
#include "sqld/engine.h"

namespace tessel::sqld::testing {
namespace {

namespace fs = std::filesystem;

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

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, File) {
  fs::path path = fs::path(TESSEL_CONFORMANCE_DIR) / GetParam();
  auto engine = createSqliteEngine(EngineOptions{});
  // The file's sessions by name, each opened when a case first names it.
  std::map<std::string, std::unique_ptr<Session>> sessions;
  CancelFlag cancel;
  for (const conformance::Case& c : conformance::ReadCases(path)) {
    std::unique_ptr<Session>& session = sessions[c.connection];
    if (!session) {
      LoginInfo login;
      login.user = "sa";
      login.appName = "conformance";
      login.spid = static_cast<std::int32_t>(50 + sessions.size());
      Message error;
      session = engine->openSession(login, error);
      ASSERT_TRUE(session) << c.connection << ": " << error.text;
    }
    RecordingSink sink;
    session->executeBatch(c.sql, sink, cancel);
    std::string where = GetParam() + ":" + std::to_string(c.line) + "\n" + c.sql;
    ASSERT_FALSE(sink.dones.empty()) << where << "no Done";
    EXPECT_FALSE(sink.dones.back().more) << where << "last Done has more set";
    conformance::Observed observed;
    for (const Message& m : sink.errors()) observed.errors.push_back(m.number);
    observed.rows = renderRows(sink);
    for (const auto& rs : sink.results)
      for (const auto& col : rs.columns)
        observed.columns.push_back((col.name.empty() ? "-" : col.name) + " " +
                                   renderType(col.type) +
                                   (col.type.nullable ? " null" : " not null"));
    for (const auto& m : sink.messages)
      observed.messages.push_back(std::to_string(m.number) + " " + m.text);
    conformance::CheckCase(c, observed, where, describeMessages(sink));
  }
}

INSTANTIATE_TEST_SUITE_P(Engine, Conformance, ::testing::ValuesIn(conformance::TestFiles()),
                         conformance::FileTestName);

}  // namespace
}  // namespace tessel::sqld::testing

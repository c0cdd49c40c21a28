// tessel-run end to end: a form file written here is loaded by the program,
// which connects to the test server and prints the query's rows.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "test_server.h"

namespace tessel {
namespace {

struct RunResult {
  int status;
  std::string output;
};

RunResult RunProgram(const std::string& arguments) {
  const std::string command = std::string(TESSEL_RUN_PATH) + " " + arguments + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
  const int status = pclose(pipe.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

class TesselRun : public testing::IntegrationTest {
 protected:
  // One file per test and process: ctest runs these tests side by side, and
  // a shared name let one test's program read another test's form.
  std::string WriteForm(const std::string& text) {
    const std::string path = ::testing::TempDir() + "tessel_run_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(getpid()) + ".tfm";
    std::ofstream(path) << text;
    written_ = path;
    return path;
  }
  void TearDown() override {
    if (!written_.empty()) std::remove(written_.c_str());
    testing::IntegrationTest::TearDown();
  }

 private:
  std::string written_;
};

const char kForm[] =
    "object Numbers: TDataModule\n"
    "  object Server: TSQLServer\n"
    "    ServerName = 'nowhere:1'\n"
    "    Connected = True\n"
    "  end\n"
    "  object Other: TTessel\n"
    "    DataBaseName = Server\n"
    "    SQL.Strings = (\n"
    "      'select 0 as zero')\n"
    "  end\n"
    "  object Pairs: TTessel\n"
    "    DataBaseName = Server\n"
    "    SQL.Strings = (\n"
    "      'select 1 as n, ''one'' as word'\n"
    "      'union all select 22, null')\n"
    // Where a designer showed the query: read, and of no concern to the program.
    "    Left = 120\n"
    "    Top = 48\n"
    "  end\n"
    "end\n";

TEST_F(TesselRun, LoadsTheFormOverridesTheLoginAndPrintsTheNamedQuery) {
  const std::string form = WriteForm(kForm);
  const RunResult run =
      RunProgram(Quote(form) + " --query Pairs --server " + Quote(address->Server) + " --user " +
                 Quote(address->User) + " --password " + Quote(address->Password) + " --database " +
                 Quote(address->Database));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "n  | word\n"
            "---+-----\n"
            "1  | one\n"
            "22 | NULL\n"
            "(2 rows)\n");
}

TEST_F(TesselRun, ReportsABadFormWithItsLineAndFails) {
  const std::string form = WriteForm("object S: TSQLServer\n  Speed = 9\nend\n");
  const RunResult run = RunProgram(Quote(form));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "tessel-run: " + form +
                            ":2: Property Speed does not exist in TSQLServer (reading S.Speed)\n");
}

TEST_F(TesselRun, HelpAndBadArguments) {
  const RunResult help = RunProgram("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("usage: tessel-run FORM", 0), 0U) << help.output;
  EXPECT_EQ(RunProgram("").status, 2);
  EXPECT_EQ(RunProgram("a.tfm --frobnicate").status, 2);
  EXPECT_EQ(RunProgram("a.tfm --query").status, 2);
}

}  // namespace
}  // namespace tessel

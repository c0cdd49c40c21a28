// tessel-run's --param, its cells for text and image values, its --format
// (table, CSV, JSON) in UTF-8 under any locale, and its error lines: the
// server's words without an exception class or a doubled period.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "test_server.h"

namespace tessel {
namespace {

std::string RunWith(const testing::ServerAddress& address, const std::string& form_text,
                    const std::string& arguments, int& status,
                    const std::string& environment = "") {
  const std::string form = ::testing::TempDir() + "tessel_run_params_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                           std::to_string(getpid()) + ".tfm";
  std::ofstream(form) << form_text;
  const std::string command = environment + std::string(TESSEL_RUN_PATH) + " '" + form +
                              "' --server '" + address.Server + "' --user '" + address.User +
                              "' --password '" + address.Password + "' --database '" +
                              address.Database + "' " + arguments + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
  const int result = pclose(pipe.release());
  status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  std::remove(form.c_str());
  return output;
}

std::string Form(const std::string& sql) {
  return "object M: TDataModule\n"
         "  object Server: TSQLServer\n"
         "    ServerName = 'nowhere:1'\n"
         "  end\n"
         "  object Q: TTessel\n"
         "    DataBaseName = Server\n"
         "    SQL.Strings = (\n"
         "      '" +
         sql +
         "')\n"
         "  end\n"
         "end\n";
}

using TesselRunParams = testing::IntegrationTest;

TEST_F(TesselRunParams, ParamsAreSetAndLongValuesSummedUp) {
  server->Open();
  server->InternalExecute("IF OBJECT_ID('run_params') IS NOT NULL DROP TABLE run_params");
  server->InternalExecute("CREATE TABLE run_params (n int, note text, pic image)");
  server->InternalExecute("INSERT INTO run_params VALUES (1, 'one', 0x01)");
  server->InternalExecute("INSERT INTO run_params VALUES (20, 'four', 0x010203)");
  int status = 0;
  const std::string form = Form("select n, note, pic from run_params where n > :low and n < :high");
  EXPECT_EQ(RunWith(*address, form, "--param low=9 --param high=100", status),
            "n  | note                 | pic\n"
            "---+----------------------+-----------------\n"
            "20 | (text, 4 characters) | (image, 3 bytes)\n"
            "(1 row)\n");
  EXPECT_EQ(status, 0);

  EXPECT_EQ(RunWith(*address, form, "--param nosuch=1", status),
            "tessel-run: Q has no parameter nosuch\n");
  EXPECT_EQ(status, 1);
  RunWith(*address, form, "--param low", status);
  EXPECT_EQ(status, 2);
}

// The values' UTF-8 comes out as it is whatever the locale says (LANG=C
// here); the table lines up by characters, CSV and JSON quote as they must.
TEST_F(TesselRunParams, FormatsWriteUtf8UnderTheCLocale) {
  server->Open();
  server->InternalExecute("IF OBJECT_ID('run_formats') IS NOT NULL DROP TABLE run_formats");
  server->InternalExecute(
      "CREATE TABLE run_formats (id int, name nvarchar(20) NULL, pic image NULL)");
  server->InternalExecute("INSERT INTO run_formats VALUES (1, N'Zoë, \"z\"', 0x010203)");
  server->InternalExecute("INSERT INTO run_formats VALUES (2, NULL, NULL)");
  const std::string form = Form("select id, name, pic from run_formats order by id");
  struct Case {
    const char* format;
    const char* output;
  };
  for (const Case& c : {
           Case{"table",
                "id | name     | pic\n"
                "---+----------+-----------------\n"
                "1  | Zoë, \"z\" | (image, 3 bytes)\n"
                "2  | NULL     | NULL\n"
                "(2 rows)\n"},
           Case{"csv", "id,name,pic\r\n1,\"Zoë, \"\"z\"\"\",AQID\r\n2,,\r\n"},
           Case{"json",
                "[\n  {\"id\": 1, \"name\": \"Zoë, \\\"z\\\"\", \"pic\": \"AQID\"},\n"
                "  {\"id\": 2, \"name\": null, \"pic\": null}\n]\n"},
       }) {
    SCOPED_TRACE(c.format);
    int status = 0;
    EXPECT_EQ(
        RunWith(*address, form, std::string("--format ") + c.format, status, "LANG=C LC_ALL=C "),
        c.output);
    EXPECT_EQ(status, 0);
  }
  int status = 0;
  EXPECT_EQ(RunWith(*address, form, "--format xml", status),
            "tessel-run: unknown format 'xml': table, csv or json (try --help)\n");
  EXPECT_EQ(status, 2);
}

TEST_F(TesselRunParams, ServerErrorsReadAsTheServerWroteThem) {
  int status = 0;
  EXPECT_EQ(RunWith(*address, Form("select * from run_params_nosuch"), "", status),
            "tessel-run: Invalid object name 'run_params_nosuch'.\n");
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace tessel

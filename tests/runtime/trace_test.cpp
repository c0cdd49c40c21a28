// The call trace: line format, where lines go, when the file is created or
// emptied, which wrappers trace before or after their call, and the refusal
// of a planted file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dblib_stub.h"
#include "framework/exceptions.h"
#include "runtime/lqSQLdb.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

std::vector<std::string>* events = nullptr;  // what the callback and the stub's hook saw

void RecordTrace(const char* line) {
  events->push_back(std::string("trace ") + line);
}
void RecordCall(const char* name) {
  events->push_back(std::string("call ") + name);
}
void Throwing(const char*) {
  throw EInOutError("callback refused");
}

// The message part of a trace line: what follows ".mmm ".
std::string MessageOf(const std::string& line) {
  static const std::regex stamped(R"(^([^.]+)\.([ 0-9]{3}) ([\s\S]*)$)");
  std::smatch m;
  if (!std::regex_match(line, m, stamped)) return "<unstamped> " + line;
  return m[3];
}

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessel-trace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("TMPDIR", dir_.c_str(), 1);
    setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
    InitializeDBLIB();
    stub_reset();
    events = &seen_;
  }
  void TearDown() override {
    dbRegisterTraceCallback(nullptr);
    try {
      SQLTraceActive(false);
    } catch (const Exception&) {
    }
    stub_set_hook(nullptr);
    events = nullptr;
    fs::remove_all(dir_);
  }

  std::string LogPath() const { return dir_ + "/~Tessel.log"; }

  std::string ReadLog() const {
    std::ifstream in(LogPath(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // The log's lines (split at CR LF), message parts only.
  std::vector<std::string> LogMessages() const {
    std::vector<std::string> result;
    const std::string text = ReadLog();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      result.push_back(MessageOf(text.substr(start, end - start)));
    }
    EXPECT_EQ(start, text.size()) << "the log must end with CR LF: " << text;
    return result;
  }

  std::vector<std::string> TraceMessages() const {
    std::vector<std::string> result;
    for (const auto& e : seen_) {
      if (e.rfind("trace ", 0) == 0) result.push_back(MessageOf(e.substr(6)));
    }
    return result;
  }

  std::string dir_;
  std::vector<std::string> seen_;
};

TEST_F(TraceTest, LinesCarryTheTimeAndAThreeCharacterMillisecondField) {
  dbRegisterTraceCallback(RecordTrace);
  for (int i = 0; i < 50; ++i) SQLWriteTrace("x");
  // The time text, a full stop, milliseconds right-aligned in three
  // characters padded with spaces (never zeros), a space, the message.
  const std::regex line(R"(^\d{1,2}:\d{2}:\d{2}( ?[AP]M)?\.(  \d| [1-9]\d|[1-9]\d\d) x$)");
  for (const auto& e : seen_) EXPECT_TRUE(std::regex_match(e.substr(6), line)) << e;
}

TEST_F(TraceTest, StartingTwiceWritesOneLineAndStoppingClosesTheFile) {
  SQLTraceActive(true);
  SQLTraceActive(true);
  dbcmd(nullptr, "select 1");
  SQLTraceActive(false);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Tessel logging started", "dbcmd:'select 1'",
                                                     "Tessel logging ended"}));
  SQLTraceActive(false);  // already off: nothing more
  EXPECT_EQ(LogMessages().size(), 3u);

  // Starting again empties the file.
  SQLTraceActive(true);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Tessel logging started"}));
}

TEST_F(TraceTest, CallbackTakesTheLinesAndNoFileIsCreated) {
  EXPECT_EQ(dbRegisterTraceCallback(RecordTrace), nullptr);
  SQLTraceActive(true);
  dbsqlexec(nullptr);
  SQLTraceActive(false);
  EXPECT_EQ(TraceMessages(), (std::vector<std::string>{"Tessel logging started", "dbsqlexec"}));
  EXPECT_FALSE(fs::exists(LogPath()));

  // Putting the file back: the routine installed before is returned, and the
  // next lines go to the file.
  EXPECT_EQ(dbRegisterTraceCallback(nullptr), RecordTrace);
  SQLTraceActive(true);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Tessel logging started"}));
}

TEST_F(TraceTest, WrappersTraceBeforeOrAfterTheirCallAsDocumented) {
  dbRegisterTraceCallback(RecordTrace);
  stub_set_hook(RecordCall);
  stub_set("dbreadtext", 17);
  stub_set("dbgetpacket", 512);
  SQLTraceActive(true);
  seen_.clear();
  PLOGINREC login = dblogin();
  dbopen(login, "srv");
  dbcmd(nullptr, "select 'a'\r\nfrom t");
  dbsqlexec(nullptr);
  dbresults(nullptr);
  dbnextrow(nullptr);
  char buf[64];
  dbreadtext(nullptr, buf, sizeof buf);
  dbsetlpacket(login, 8192);
  dbgetpacket(nullptr);
  dbinit();
  dbexit();
  dbclose(nullptr);
  dbrpcinit(nullptr, "p", 1);
  dbrpcsend(nullptr);
  dbsqlok(nullptr);
  dbdead(nullptr);
  dbsqlsend(nullptr);
  dbrpcexec(nullptr);
  const std::vector<std::string> want = {"call dblogin",
                                         "trace Open connection to server srv",
                                         "call dbopen",
                                         "trace dbcmd:'select 'a'\r\nfrom t'",
                                         "call dbcmd",
                                         "call dbsqlexec",
                                         "trace dbsqlexec",
                                         "trace dbresults",
                                         "call dbresults",
                                         "trace dbnextrow",
                                         "call dbnextrow",
                                         "call dbreadtext",
                                         "trace dbreadtext 17 bytes",
                                         "call dbsetlpacket",
                                         "trace dbsetlpacket 8192 bytes",
                                         "call dbgetpacket",
                                         "trace dbgetpacket 512 bytes",
                                         "trace dbinit",
                                         "call dbinit",
                                         "trace dbexit",
                                         "call dbexit",
                                         "trace Close connection",
                                         "call dbclose",
                                         "trace dbrpcinit",
                                         "call dbrpcinit",
                                         "trace dbrpcsend",
                                         "call dbrpcsend",
                                         "trace dbsqlok",
                                         "call dbsqlok",
                                         "trace dbdead",
                                         "call dbdead",
                                         "trace dbsqlsend",
                                         "call dbsqlsend",
                                         "trace dbrpcexec",
                                         "call dbrpcexec"};
  std::vector<std::string> got;
  for (const auto& e : seen_)
    got.push_back(e.rfind("trace ", 0) == 0 ? "trace " + MessageOf(e.substr(6)) : e);
  EXPECT_EQ(got, want);
}

TEST_F(TraceTest, UntracedWrappersNeverWriteAndNothingIsTracedWhileOff) {
  dbRegisterTraceCallback(RecordTrace);
  dbcmd(nullptr, "select 1");  // tracing is off
  SQLTraceActive(true);
  seen_.clear();
  PLOGINREC login = dblogin();
  dbsetlname(login, "x", 2);
  dbbind(nullptr, 1, 1, 0, nullptr);
  dbdata(nullptr, 1);
  dbuse(nullptr, "db");
  dbcancel(nullptr);
  dbsetopt(nullptr, 5, "1");
  dbfreelogin(login);
  EXPECT_TRUE(seen_.empty()) << seen_.front();
}

TEST_F(TraceTest, ArgumentsAndResultsPassThroughUnchanged) {
  stub_set("dbreadtext", -1);
  char buf[8];
  EXPECT_EQ(dbreadtext(nullptr, buf, 8), -1);
  EXPECT_EQ(dbsetlname(nullptr, "app", 4), 1);
  EXPECT_EQ(dbsetopt(nullptr, 5, "2147483647"), 1);
  EXPECT_EQ(std::string(stub_log()), "dbreadtext 8\ndbsetlname 4,app\ndbsetopt 5,2147483647\n");
}

TEST_F(TraceTest, UnloadWhileTracingToACallbackWritesOnlyTheClosingLineToTheFile) {
  dbRegisterTraceCallback(RecordTrace);
  SQLTraceActive(true);
  FinalizeDBLIB();
  EXPECT_FALSE(SQLTraceIsActive());
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Tessel logging ended"}));
  EXPECT_EQ(TraceMessages(), (std::vector<std::string>{"Tessel logging started"}));
}

TEST_F(TraceTest, ProcessExitClosesTheLogWithItsEndLine) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child keeps this test's TMPDIR
  EXPECT_EXIT(
      {
        SQLTraceActive(true);
        dbcmd(nullptr, "select 1");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Tessel logging started", "dbcmd:'select 1'",
                                                     "Tessel logging ended"}));
}

TEST_F(TraceTest, FileIsPrivateToItsOwner) {
  { std::ofstream(LogPath()) << "old contents\n"; }
  fs::permissions(LogPath(), fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::others_read);
  SQLTraceActive(true);
  struct stat st {};
  ASSERT_EQ(stat(LogPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Tessel logging started"}));
}

TEST_F(TraceTest, PlantedLinkOrOtherFileIsRefusedAndTheNextLineTriesAgain) {
  const std::string target = dir_ + "/victim";
  { std::ofstream(target) << "precious\n"; }
  fs::create_symlink(target, LogPath());
  EXPECT_THROW(SQLTraceActive(true), EInOutError);
  EXPECT_TRUE(SQLTraceIsActive());
  // A traced wrapper whose line comes first does not make its call.
  EXPECT_THROW(dbcmd(nullptr, "delete from t"), EInOutError);
  EXPECT_EQ(stub_calls("dbcmd"), 0);
  std::ifstream in(target);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "precious");

  // A second name of a file (a hard link) is refused as well.
  fs::remove(LogPath());
  fs::create_hard_link(target, LogPath());
  EXPECT_THROW(SQLWriteTrace("x"), EInOutError);

  // A directory under that name is refused too.
  fs::remove(LogPath());
  fs::create_directory(LogPath());
  EXPECT_THROW(SQLWriteTrace("x"), EInOutError);

  // The file was never taken as open: once the name is free, it is created.
  fs::remove(LogPath());
  SQLWriteTrace("again");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"again"}));
}

TEST_F(TraceTest, LinesFromTwoThreadsStayWhole) {
  SQLTraceActive(true);
  auto writer = [](char who) {
    for (int i = 0; i < 300; ++i) dbcmd(nullptr, std::string(100, who).c_str());
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  SQLTraceActive(false);
  const auto lines = LogMessages();
  ASSERT_EQ(lines.size(), 2u + 600u);
  int as = 0, bs = 0;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    as += lines[i] == "dbcmd:'" + std::string(100, 'a') + "'";
    bs += lines[i] == "dbcmd:'" + std::string(100, 'b') + "'";
  }
  EXPECT_EQ(as, 300);
  EXPECT_EQ(bs, 300);
}

TEST_F(TraceTest, CallbackExceptionsReachTheCaller) {
  dbRegisterTraceCallback(Throwing);
  EXPECT_THROW(SQLTraceActive(true), EInOutError);
  EXPECT_THROW(dbopen(nullptr, "srv"), EInOutError);
  EXPECT_EQ(stub_calls("dbopen"), 0);
}

}  // namespace
}  // namespace tessel

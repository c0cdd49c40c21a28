// What tessel-sqld keeps on disk and who may read it: configuration files
// with passwords, the data directory and its files, and the shared-memory
// directory of in-memory databases, also after the server was killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "options.h"
#include "server_process.h"
#include "storage.h"

namespace tessel::sqld::app {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// This process's scratch directories under `base` (named after its pid).
std::vector<fs::path> scratchOf(const std::string& base, int pid) {
  std::vector<fs::path> out;
  const std::string prefix = "tessel-sqld-" + std::to_string(pid) + "-";
  for (const auto& e : fs::directory_iterator(base))
    if (e.path().filename().string().rfind(prefix, 0) == 0) out.push_back(e.path());
  return out;
}

class TdsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tds-files-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

TEST_F(TdsFiles, ConfigFileHoldingAPasswordMustBePrivate) {
  struct Case {
    std::string text;
    fs::perms mode;
    std::string error;  // part of the error; empty: accepted
  };
  const auto shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read;
  const auto owner = fs::perms::owner_read | fs::perms::owner_write;
  const Case cases[] = {
      {"port = 1500\npassword = s3cret\n", shared, "sqld.conf' may be read by other users"},
      {"login = sa:s3cret\n", fs::perms::owner_read | fs::perms::group_read, "(line 1 holds"},
      {"port = 1500\npassword = s3cret\n", owner, ""},
      // Nothing secret in it: any mode will do.
      {"port = 1500\nquiet\n", shared, ""},
  };
  const fs::path file = dir_ / "sqld.conf";
  for (const Case& k : cases) {
    std::ofstream(file, std::ios::trunc) << k.text;
    fs::permissions(file, k.mode);
    Options o;
    std::vector<const char*> args = {"tessel-sqld", "--config", file.c_str(), "--login", "anna:x"};
    std::string error = parseOptions(static_cast<int>(args.size()), args.data(), "envpw", o);
    if (k.error.empty()) {
      EXPECT_EQ(error, "") << k.text;
      EXPECT_EQ(o.port, 1500);
    } else {
      EXPECT_NE(error.find(k.error), std::string::npos) << error;
      EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;
    }
  }
}

TEST_F(TdsFiles, DataDirectoryIsMadePrivateAndItsDatabaseFilesTightened) {
  const fs::path made = dir_ / "a" / "data";
  EXPECT_TRUE(prepareDataDirectory(made.string()).empty());
  EXPECT_EQ(modeOf(made), 0700u);

  const fs::path existing = dir_ / "open";
  fs::create_directories(existing);
  fs::permissions(existing, fs::perms(0755));
  for (const char* name : {"x.db", "x.db-wal", "notes.txt"}) {
    std::ofstream(existing / name) << "data";
    fs::permissions(existing / name, fs::perms(0644));
  }
  auto warnings = prepareDataDirectory(existing.string());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("chmod 700"), std::string::npos);
  EXPECT_EQ(modeOf(existing / "x.db"), 0600u);
  EXPECT_EQ(modeOf(existing / "x.db-wal"), 0600u);
  EXPECT_EQ(modeOf(existing / "notes.txt"), 0644u);  // not the server's
}

TEST_F(TdsFiles, OnlyScratchDirectoriesOfProcessesThatAreGoneAreRemoved) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string base = dir_.string();
  ScratchDirectory live(base);
  const std::string self = std::to_string(::getpid());
  const std::vector<std::pair<std::string, bool>> cases = {
      {"tessel-sqld-" + std::to_string(gone) + "-1-abcdef", true},
      {"tessel-sqld-" + self + "-1-abcdef", true},  // the pid now names another process
      {"tessel-sqld-abcdef", false},                // no owner to tell
      {"tessel-sqld-" + self + "-1-abc", false},    // not a name the server makes
      {"unrelated-1-1-abcdef", false},
  };
  for (const auto& [name, stale] : cases) fs::create_directories(dir_ / name / "inside");
  auto removed = removeStaleScratch(base);
  EXPECT_EQ(removed.size(), 2u);
  EXPECT_TRUE(fs::exists(live.path()));
  for (const auto& [name, stale] : cases) EXPECT_EQ(fs::exists(dir_ / name), !stale) << name;
}

TEST_F(TdsFiles, KilledInMemoryServerLeavesItsDirectoryOnlyUntilTheNextStart) {
  const std::string base = scratchBase();
  const std::vector<std::string> args = {"--password", "pw", "--quiet"};
  auto killed = std::make_unique<sqld::test::ServerProcess>(TDS_STUB_SERVER, args);
  const int killedPid = killed->pid();
  ASSERT_EQ(scratchOf(base, killedPid).size(), 1u);
  EXPECT_EQ(modeOf(scratchOf(base, killedPid)[0]), 0700u);
  ::kill(killedPid, SIGKILL);
  killed.reset();
  ASSERT_EQ(scratchOf(base, killedPid).size(), 1u);

  sqld::test::ServerProcess next(TDS_STUB_SERVER, args);
  EXPECT_TRUE(scratchOf(base, killedPid).empty());
  ASSERT_EQ(scratchOf(base, next.pid()).size(), 1u);
  const int nextPid = next.pid();
  EXPECT_EQ(next.stop(), 0);
  EXPECT_TRUE(scratchOf(base, nextPid).empty());
}

TEST_F(TdsFiles, SqliteDatabaseFilesAreTheOwnersAlone) {
#ifndef TESSEL_SQLD
  GTEST_SKIP() << "tessel-sqld is not built";
#else
  const fs::path data = dir_ / "data";
  {
    sqld::test::ServerProcess server(TESSEL_SQLD,
                                     {"--password", "pw", "--quiet", "--data", data.string()});
  }
  EXPECT_EQ(modeOf(data), 0700u);
  int files = 0;
  for (const auto& e : fs::directory_iterator(data)) {
    ++files;
    EXPECT_EQ(modeOf(e.path()) & 077, 0u) << e.path();
  }
  EXPECT_GE(files, 3);  // master, tempdb, tessel
#endif
}

}  // namespace
}  // namespace tessel::sqld::app

// Where the programs' login password comes from: the file's permissions, the choice
// between the options and TESSEL_PASSWORD, and the three programs' parsing and help.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/password_source.h"
#include "designer/options.h"
#include "explorer/options.h"

namespace tessel::apps {
namespace {

class PasswordSource : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessel-password-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    unsetenv("TESSEL_PASSWORD");
  }
  void TearDown() override {
    unsetenv("TESSEL_PASSWORD");
    for (const auto& f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }
  std::string File(const std::string& text, mode_t mode) {
    const std::string path = dir_ + "/p" + std::to_string(files_.size());
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    files_.push_back(path);
    return path;
  }

  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(PasswordSource, TheFileIsReadOnlyWhenItsOwnerAloneMayUseIt) {
  struct Case {
    std::string text;
    mode_t mode;
    std::string password;  // empty: refused
    std::string error_part;
  };
  const Case cases[] = {
      {"s3cret\nsecond line\n", 0600, "s3cret", ""}, {"crlf\r\n", 0400, "crlf", ""},
      {"no newline", 0600, "no newline", ""},        {"s3cret\n", 0640, "", "owner only"},
      {"s3cret\n", 0620, "", "owner only"},          {"s3cret\n", 0604, "", "owner only"},
      {"s3cret\n", 0602, "", "owner only"},          {"s3cret\n", 0644, "", "chmod 600"},
      {"\nlater\n", 0600, "", "empty first line"},
  };
  for (const Case& c : cases) {
    std::string password = "unchanged";
    const std::string error = ReadPasswordFile(File(c.text, c.mode), password);
    if (c.password.empty()) {
      EXPECT_NE(error.find(c.error_part), std::string::npos) << std::oct << c.mode << ": " << error;
      EXPECT_EQ(password, "unchanged") << std::oct << c.mode;
    } else {
      EXPECT_EQ(error, "") << std::oct << c.mode;
      EXPECT_EQ(password, c.password) << std::oct << c.mode;
    }
  }
  std::string password;
  EXPECT_NE(ReadPasswordFile(dir_ + "/missing", password).find("cannot read"), std::string::npos);
  EXPECT_NE(ReadPasswordFile(dir_, password).find("not a regular file"), std::string::npos);
}

TEST_F(PasswordSource, TheCommandLineWinsOverTheVariableAndBothOptionsAreRefused) {
  const std::string file = File("from-file\n", 0600);
  struct Case {
    const char* env;  // nullptr: unset
    std::optional<std::string> option, file;
    std::optional<std::string> chosen;
    bool refused;
  };
  const Case cases[] = {
      {nullptr, std::nullopt, std::nullopt, std::nullopt, false},
      {"", std::nullopt, std::nullopt, std::nullopt, false},
      {"from-env", std::nullopt, std::nullopt, "from-env", false},
      {"from-env", "from-option", std::nullopt, "from-option", false},
      {"from-env", std::nullopt, file, "from-file", false},
      {nullptr, "", std::nullopt, "", false},  // an empty password is a password
      {nullptr, "from-option", file, std::nullopt, true},
  };
  for (const Case& c : cases) {
    if (c.env != nullptr) {
      setenv("TESSEL_PASSWORD", c.env, 1);
    } else {
      unsetenv("TESSEL_PASSWORD");
    }
    std::optional<std::string> password;
    const std::string error = ChoosePassword(c.option, c.file, password);
    EXPECT_EQ(!error.empty(), c.refused) << error;
    EXPECT_EQ(password, c.chosen) << (c.env ? c.env : "(unset)");
  }
}

// Each program parses the sources through ChoosePassword and says so in its help.
TEST_F(PasswordSource, EveryProgramTakesTheFileAndTheVariable) {
  const std::string good = File("from-file\n", 0600);
  const std::string open_to_all = File("from-file\n", 0644);
  setenv("TESSEL_PASSWORD", "from-env", 1);

  explorer::Options e;
  std::vector<const char*> args = {"x", "--server", "h:1", "--user", "sa"};
  EXPECT_EQ(explorer::ParseOptions(static_cast<int>(args.size()), args.data(), e), "");
  EXPECT_EQ(e.password, "from-env");
  args.insert(args.end(), {"--password-file", good.c_str()});
  EXPECT_EQ(explorer::ParseOptions(static_cast<int>(args.size()), args.data(), e), "");
  EXPECT_EQ(e.password, "from-file");
  args.back() = open_to_all.c_str();
  EXPECT_NE(explorer::ParseOptions(static_cast<int>(args.size()), args.data(), e), "");

  designer::Options d;
  const std::string with_file = "--password-file=" + good;
  std::vector<const char*> dargs = {"d", with_file.c_str()};
  EXPECT_EQ(designer::ParseOptions(static_cast<int>(dargs.size()), dargs.data(), d), "");
  EXPECT_EQ(d.password, "from-file");
  dargs.insert(dargs.end(), {"--password", "x"});
  EXPECT_NE(designer::ParseOptions(static_cast<int>(dargs.size()), dargs.data(), d), "");

  for (const std::string& help : {explorer::Usage(), designer::Usage()}) {
    EXPECT_NE(help.find("--password-file FILE"), std::string::npos);
    EXPECT_NE(help.find("TESSEL_PASSWORD"), std::string::npos);
  }
}

// tessel-run's status and messages: 2 for bad arguments, 1 once they were good (the form
// file does not exist), and its help.
TEST_F(PasswordSource, TesselRunRefusesAFileOthersMayRead) {
  const std::string good = File("from-file\n", 0600);
  const std::string open_to_all = File("from-file\n", 0604);
  const auto run = [](const std::string& args, std::string& out) {
    FILE* p = popen((std::string(TESSEL_RUN_PATH) + " " + args + " 2>&1").c_str(), "r");
    out.clear();
    char buffer[512];
    while (p != nullptr && std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    const int status = p != nullptr ? pclose(p) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string out;
  EXPECT_EQ(run(dir_ + "/none.tfm --password-file " + open_to_all, out), 2);
  EXPECT_NE(out.find("owner only"), std::string::npos) << out;
  EXPECT_EQ(run(dir_ + "/none.tfm --password-file " + good + " --password x", out), 2);
  EXPECT_NE(out.find("exclude each other"), std::string::npos) << out;
  EXPECT_EQ(run(dir_ + "/none.tfm --password-file " + good, out), 1) << out;
  EXPECT_EQ(run("--help", out), 0);
  EXPECT_NE(out.find("--password-file FILE"), std::string::npos) << out;
  EXPECT_NE(out.find("TESSEL_PASSWORD"), std::string::npos) << out;
}

}  // namespace
}  // namespace tessel::apps

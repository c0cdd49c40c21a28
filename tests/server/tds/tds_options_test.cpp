// tessel-sqld's command line and configuration file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "options.h"

namespace tessel::sqld::app {
namespace {

std::string parse(std::vector<const char*> args, Options& o, const char* env = nullptr) {
  args.insert(args.begin(), "tessel-sqld");
  return parseOptions(static_cast<int>(args.size()), args.data(), env, o);
}

TEST(TdsOptions, CommandLineSettings) {
  Options o;
  EXPECT_EQ(parse({"--port", "0", "--password=pw", "--login", "anna:a:b:d1, d2", "--login",
                   "bob:pw", "--data", "/tmp/d", "--idle-timeout", "30", "--quiet"},
                  o),
            "");
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.encrypt, "off");
  EXPECT_FALSE(o.tlsCert);
  EXPECT_EQ(o.saPassword, "pw");
  ASSERT_EQ(o.logins.size(), 2u);
  // The databases follow the last ':'; without them a login has tessel only.
  EXPECT_EQ(o.logins[0], (Options::Login{"anna", "a:b", {"d1", "d2"}}));
  EXPECT_EQ(o.logins[1], (Options::Login{"bob", "pw", {"tessel"}}));
  EXPECT_EQ(o.dataDirectory, "/tmp/d");
  EXPECT_EQ(o.idleTimeoutSeconds, 30);
  EXPECT_TRUE(o.quiet);
}

TEST(TdsOptions, PasswordComesFromTheEnvironmentOrIsRequired) {
  Options fromEnv;
  EXPECT_EQ(parse({}, fromEnv, "envpw"), "");
  EXPECT_EQ(fromEnv.saPassword, "envpw");
  Options overridden;
  EXPECT_EQ(parse({"--password", "cli"}, overridden, "envpw"), "");
  EXPECT_EQ(overridden.saPassword, "cli");
  Options none;
  EXPECT_NE(parse({"--login", "anna:x"}, none).find("no password for the login 'sa'"),
            std::string::npos);
  Options saLogin;
  EXPECT_EQ(parse({"--login", "sa:x"}, saLogin), "");
}

TEST(TdsOptions, EncryptionSettings) {
  Options o;
  EXPECT_EQ(
      parse({"--password", "p", "--tls-cert", "c.pem", "--tls-key=k.pem", "--encrypt", "strict"},
            o),
      "");
  EXPECT_EQ(o.tlsCert, "c.pem");
  EXPECT_EQ(o.tlsKey, "k.pem");
  EXPECT_EQ(o.encrypt, "strict");
}

TEST(TdsOptions, BadValuesAreNamed) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--port", "65536", "--password", "p"}, "'65536'"},
      {{"--port", "12x", "--password", "p"}, "'12x'"},
      {{"--login", "nocolon", "--password", "p"}, "'nocolon'"},
      {{"--login", "anna:pw:", "--password", "p"}, "'anna:pw:'"},
      {{"--login", "anna::db", "--password", "p"}, "'anna::db'"},
      {{"--idle-timeout", "-1", "--password", "p"}, "'-1'"},
      {{"--frobnicate", "1", "--password", "p"}, "'frobnicate'"},
      {{"--memory", "--data", "d", "--password", "p"}, "exclude"},
      {{"--password"}, "needs a value"},
      {{"stray"}, "'stray'"},
      {{"--encrypt", "maybe", "--password", "p"}, "'maybe'"},
      {{"--tls-cert", "c.pem", "--password", "p"}, "go together"},
  };
  for (const auto& [args, expected] : cases) {
    Options o;
    std::string error = parse(args, o);
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
}

TEST(TdsOptions, ConfigFileErrorsNameTheLine) {
  auto path =
      std::filesystem::temp_directory_path() / ("tds-options-" + std::to_string(::getpid()));
  std::ofstream(path) << "# comment\n\nport = 1500\nmemory\nbogus line\n";
  Options o;
  std::string error = parse({"--config", path.c_str(), "--password", "p"}, o);
  EXPECT_NE(error.find(":5: expected key = value"), std::string::npos) << error;
  EXPECT_EQ(o.port, 1500);
  EXPECT_TRUE(o.memory);
  Options missing;
  EXPECT_NE(parse({"--config", "/nonexistent/sqld.conf"}, missing).find("cannot read"),
            std::string::npos);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tessel::sqld::app

namespace tessel::sqld::app {
namespace {

// A service reads its password from a file that only its own user may read.
TEST(TdsOptions, PasswordFileIsReadOnlyWhenPrivate) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("tessel-pwfile-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "sa.password";
  std::ofstream(file) << "s3cret\r\nsecond line ignored\n";
  const std::string path = file.string();

  std::filesystem::permissions(
      file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  Options privateFile;
  EXPECT_EQ(parse({"--password-file", path.c_str()}, privateFile), "");
  EXPECT_EQ(privateFile.saPassword, "s3cret");

  std::filesystem::permissions(file, std::filesystem::perms::group_read,
                               std::filesystem::perm_options::add);
  Options shared;
  EXPECT_NE(parse({"--password-file", path.c_str()}, shared).find("chmod 600"), std::string::npos);
  EXPECT_FALSE(shared.saPassword.has_value());

  Options missing;
  const std::string absent = (dir / "absent").string();
  EXPECT_NE(parse({"--password-file", absent.c_str()}, missing).find(absent), std::string::npos);

  std::ofstream(file, std::ios::trunc) << "\n";
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  Options empty;
  EXPECT_NE(parse({"--password-file", path.c_str()}, empty).find("empty"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessel::sqld::app

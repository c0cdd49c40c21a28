// The loader's failure paths. The binding is process-wide, so every scenario
// runs in a fresh child process (a death test that must exit with 0); the
// child reports what went wrong on stderr.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "runtime/lqSQLdb.h"

namespace tessel {
namespace {

// Runs `scenario` in this (child) process and exits 0 when it returns "".
template <typename F>
[[noreturn]] void RunScenario(F scenario) {
  std::string failure;
  try {
    failure = scenario();
  } catch (const std::exception& e) {
    failure = std::string("unexpected exception: ") + e.what();
  }
  if (!failure.empty()) std::cerr << failure << std::endl;
  std::exit(failure.empty() ? 0 : 1);
}

// The message InitializeDBLIB raised, or "" when it returned.
std::string InitializeMessage() {
  try {
    InitializeDBLIB();
    return "";
  } catch (const ElqDBLIBError& e) {
    return e.Message();
  }
}

std::string Expect(const std::string& what, const std::string& got, const std::string& want) {
  return got == want ? "" : what + ": got '" + got + "', want '" + want + "'";
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(LoaderTest, NoLibraryReachableFailsAndTheNextAttemptTriesAgain) {
  EXPECT_EXIT(RunScenario([] {
                setenv("TESSEL_DBLIB", "/nonexistent/libntwdblib.so", 1);
                std::string r =
                    Expect("first", InitializeMessage(), "Can not load library: ntwdblib.dll");
                if (!r.empty()) return r;
                if (LastDBLIBLoadError().find("/nonexistent/libntwdblib.so") == std::string::npos)
                  return "the loader's explanation does not name the file: " + LastDBLIBLoadError();
                // Still unloaded: pointing at a usable library now succeeds.
                setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
                r = Expect("second", InitializeMessage(), "");
                if (!r.empty()) return r;
                return Expect("loaded", LoadedDBLIBName(), TESSEL_STUB_COMPLETE);
              }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(LoaderTest, DefaultNamesAreTriedWhenTheVariableIsEmpty) {
  EXPECT_EXIT(
      RunScenario([] {
        setenv("TESSEL_DBLIB", "", 1);
        const std::string r =
            Expect("message", InitializeMessage(), "Can not load library: ntwdblib.dll");
        if (!r.empty()) return r;
        const std::string why = LastDBLIBLoadError();
        if (why.rfind("libntwdblib.so:", 0) != 0 || why.find("; ntwdblib.so:") == std::string::npos)
          return "both default names must be tried, in order: " + why;
        return std::string();
      }),
      ::testing::ExitedWithCode(0), "");
}

TEST_F(LoaderTest, MissingEntryPointFailsEveryTimeWithoutLoadingAgain) {
  EXPECT_EXIT(RunScenario([] {
                setenv("TESSEL_DBLIB", TESSEL_STUB_WITHOUT_DBWINEXIT, 1);
                const std::string want = "GetProcAddress for ntwdblib.dll failed";
                std::string r = Expect("first", InitializeMessage(), want);
                if (!r.empty()) return r;
                if (LastDBLIBLoadError().find("dbwinexit") == std::string::npos)
                  return "the explanation does not name dbwinexit: " + LastDBLIBLoadError();
                // A complete library is now reachable, but nothing is loaded again.
                setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
                r = Expect("second", InitializeMessage(), want);
                if (!r.empty()) return r;
                return Expect("third", InitializeMessage(), want);
              }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(LoaderTest, SecondInitializeAfterSuccessLoadsNothing) {
  EXPECT_EXIT(RunScenario([] {
                setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
                std::string r = Expect("first", InitializeMessage(), "");
                if (!r.empty()) return r;
                setenv("TESSEL_DBLIB", "/nonexistent/libntwdblib.so", 1);
                r = Expect("second", InitializeMessage(), "");
                if (!r.empty()) return r;
                return Expect("loaded", LoadedDBLIBName(), TESSEL_STUB_COMPLETE);
              }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(LoaderTest, WrappersReachTheLoadedLibraryAndUnloadReleasesIt) {
  EXPECT_EXIT(RunScenario([] {
                setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
                InitializeDBLIB();
                if (std::string(dbinit()) != "DB-Library stub") return std::string("dbinit");
                if (dbgetpacket(nullptr) != 4096) return std::string("dbgetpacket");
                FinalizeDBLIB();
                if (!LoadedDBLIBName().empty()) return std::string("still loaded");
                // After an unload the next initialisation loads afresh.
                setenv("TESSEL_DBLIB", "/nonexistent/libntwdblib.so", 1);
                return Expect("after unload", InitializeMessage(),
                              "Can not load library: ntwdblib.dll");
              }),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tessel

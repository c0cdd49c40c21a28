#pragma once

// What the benchmarks that reach tessel-sqld through FreeTDS's db-lib share:
// a tessel-sqld keeping its databases as files in a scratch folder (so that
// SQLite can read or write alongside), db-lib connections to it, the best of
// several timed runs.

#include <sybdb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqld_process.h"

namespace tessel::testing {

// tessel-sqld on a free loopback port with its files in a scratch folder that
// is removed once the server has stopped; db-lib initialised with handlers
// that print what goes wrong.
class DbLibBenchServer {
 public:
  // `options` go to tessel-sqld after its data folder (--encrypt on, say).
  DbLibBenchServer(const char* sqld_path, const char* password, const std::string& tag,
                   const std::vector<std::string>& options = {})
      : folder_(tag), password_(password) {
    std::string why;
    std::vector<std::string> args{"--data", folder_.path};
    args.insert(args.end(), options.begin(), options.end());
    if (!server_.Start(sqld_path, password, why, args)) throw std::runtime_error(why);
    if (dbinit() == FAIL) throw std::runtime_error("dbinit failed");
    dberrhandle(OnError);
    dbmsghandle(OnMessage);
  }
  ~DbLibBenchServer() { dbexit(); }  // closes every connection still open

  DbLibBenchServer(const DbLibBenchServer&) = delete;
  DbLibBenchServer& operator=(const DbLibBenchServer&) = delete;

  const std::string& Folder() const { return folder_.path; }

  int Port() const { return server_.Port(); }
  pid_t Pid() const { return server_.Pid(); }
  // A connection as sa at TDS 7.4; bulk_copy allows bcp on it. `server` may
  // name a section of the FreeTDS settings file (its encryption, say).
  // `packet_size` is the TDS packet size asked for at login (0: db-lib's
  // default); db-lib takes it from the login record, not from that file.
  DBPROCESS* Connect(const char* app, bool bulk_copy = false, const char* server = "127.0.0.1",
                     int packet_size = 0) const {
    setenv("TDSPORT", std::to_string(server_.Port()).c_str(), 1);
    setenv("TDSVER", "7.4", 1);
    LOGINREC* login = dblogin();
    DBSETLUSER(login, "sa");
    DBSETLPWD(login, password_);
    DBSETLAPP(login, app);
    if (bulk_copy) BCP_SETL(login, TRUE);
    if (packet_size > 0) DBSETLPACKET(login, packet_size);
    DBPROCESS* proc = dbopen(login, server);
    dbloginfree(login);
    if (!proc) throw std::runtime_error(std::string("cannot connect to tessel-sqld as ") + server);
    return proc;
  }

 private:
  struct ScratchFolder {
    explicit ScratchFolder(const std::string& tag)
        : path((std::filesystem::temp_directory_path() /
                ("tessel-bench-" + tag + "-" + std::to_string(getpid())))
                   .string()) {
      std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path;
  };

  static int OnError(DBPROCESS*, int, int, int, char* text, char*) {
    std::fprintf(stderr, "db-lib: %s\n", text ? text : "");
    return INT_CANCEL;
  }
  static int OnMessage(DBPROCESS*, DBINT number, int, int severity, char* text, char*, char*, int) {
    if (severity > 10) std::fprintf(stderr, "server %d: %s\n", static_cast<int>(number), text);
    return 0;
  }

  ScratchFolder folder_;  // first in, last out: removed after the server stops
  const char* password_;
  SqldProcess server_;
};

// Runs a batch and reads whatever it returns.
inline void ExecuteBatch(DBPROCESS* proc, const std::string& sql) {
  if (dbcmd(proc, sql.c_str()) == FAIL || dbsqlexec(proc) == FAIL)
    throw std::runtime_error("failed: " + sql);
  while (dbresults(proc) != NO_MORE_RESULTS)
    while (dbnextrow(proc) != NO_MORE_ROWS) {
    }
}

// The shortest wall time of `runs` runs; `rows` gets what the last run returned.
template <typename F>
double BestSeconds(int runs, F&& run, long long& rows) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    rows = run();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace tessel::testing

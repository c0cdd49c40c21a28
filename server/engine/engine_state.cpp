#include "engine_state.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "atomic_commit.h"
#include "catalog.h"
#include "datetime.h"
#include "errors.h"
#include "functions.h"
#include "lexer.h"
#include "sqlite_util.h"

namespace tessel::sqld::engine {

namespace fs = std::filesystem;

bool validDatabaseName(const std::string& name) {
  if (name.empty() || name.size() > 128) return false;
  for (unsigned char c : name)
    if (!std::isalnum(c) && c != '_' && c != '-' && c != '$') return false;
  return true;
}

EngineState::EngineState(const EngineOptions& options) : options_(options) {
  for (const auto& [login, databases] : options.databaseUsers) {
    std::vector<std::string>& names = databaseUsers_[lower(login)];
    for (const std::string& name : databases) names.push_back(lower(name));
  }
  if (options.dataDirectory) {
    directory_ = *options.dataDirectory;
    fs::create_directories(directory_);
  } else {
    // In-memory databases still need files for WAL and for sharing between
    // connections; a private directory in shared memory serves.
    std::string base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = base + "/tessel-sqld-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("cannot create a directory in " + base);
    directory_ = buf.data();
    ownsDirectory_ = true;
  }
  for (const auto& entry : fs::directory_iterator(directory_)) {
    if (entry.path().extension() == ".db") names_.insert(lower(entry.path().stem().string()));
  }
  recover();
  reindexFiles();
  loadCollations();
  if (!exists("master")) createFile("master");
  // tempdb is shared by all sessions and starts empty with every start of
  // the engine; master keeps its row. A server that cannot make it (a full
  // disk) still serves everything else.
  names_.erase("tempdb");
  try {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      std::error_code ec;
      fs::remove(pathFor("tempdb") + suffix, ec);
      if (ec && ec != std::errc::no_such_file_or_directory)
        throw std::runtime_error("cannot remove " + pathFor("tempdb") + suffix + ": " +
                                 ec.message());
    }
    createFile("tempdb");
  } catch (const std::exception& e) {
    names_.erase("tempdb");
    tempdbError_ = pathFor("tempdb") + ": " + e.what();
    warn("tempdb is not available, temporary tables cannot be used: " + tempdbError_);
  }
  if (!exists("tessel")) createFile("tessel");
}

// Indexes over text in files written under another order than TSQL_CI's
// today would find rows in the wrong places: they are rebuilt before any
// session opens the file. A file that cannot be rebuilt is served as it is.
void EngineState::reindexFiles() {
  for (const std::string& name : names_) {
    if (name == "tempdb") continue;
    try {
      sqlite3* raw = nullptr;
      const std::string path = pathFor(name);
      int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
      SqliteDb db(raw);
      if (rc != SQLITE_OK) throwLastError(raw, rc);
      Settings settings;
      registerFunctions(db.get(), &settings);
      sqlite3_busy_timeout(db.get(), 10000);
      reindexIfCollationChanged(db.get());
    } catch (const std::exception& e) {
      warn(pathFor(name) +
           ": its text indexes could not be rebuilt for today's collation: " + e.what());
    }
  }
}

void EngineState::warn(const std::string& text) const {
  if (options_.warning) options_.warning(text);
}

// Rolls back what a crash left half-committed, while no connection has the
// files open. Only the server that holds the folder's lock does so: cutting
// a write-ahead log that another server uses would destroy its commits.
void EngineState::recover() {
  const std::string lockPath = directory_ + "/tessel-sqld.lock";
  lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    warn("another server uses " + directory_ +
         "; transactions a crash left half-committed are not looked for");
  } else {
    std::int64_t last = 0;
    for (const std::string& line : recoverHalfCommits(directory_, names_, last)) warn(line);
    commitId_ = last;
  }
  // Numbers from the clock as well, so that they grow past any start whose
  // markers were not read.
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  commitId_ = std::max<std::int64_t>(commitId_, now);
}

const std::vector<std::string>* EngineState::userDatabases(const std::string& login) const {
  auto it = databaseUsers_.find(lower(login));
  return it == databaseUsers_.end() ? nullptr : &it->second;
}

std::int64_t EngineState::nextCommitId() {
  std::lock_guard lock(mutex_);
  return ++commitId_;
}

EngineState::~EngineState() {
  if (lockFd_ >= 0) ::close(lockFd_);
  if (ownsDirectory_) {
    std::error_code ec;
    fs::remove_all(directory_, ec);
  }
}

std::string EngineState::pathFor(const std::string& name) const {
  return directory_ + "/" + lower(name) + ".db";
}

bool EngineState::exists(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return names_.count(lower(name)) > 0;
}

std::string EngineState::canonicalName(const std::string& name) const {
  return lower(name);
}

std::int64_t EngineState::nextTransactionDescriptor() {
  std::lock_guard lock(mutex_);
  return ++descriptor_;
}

void EngineState::registerSession(std::int32_t spid, KillFlag flag, const LoginInfo& login) {
  std::lock_guard lock(mutex_);
  SessionEntry entry;
  entry.flag = std::move(flag);
  entry.login = login;
  entry.loginTime = std::chrono::system_clock::now();
  sessions_[spid] = std::move(entry);
}

void EngineState::unregisterSession(std::int32_t spid, const KillFlag& flag) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(spid);
  if (it != sessions_.end() && it->second.flag == flag) sessions_.erase(it);
}

bool EngineState::kill(std::int32_t spid) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(spid);
  if (it == sessions_.end()) return false;
  it->second.flag->store(true, std::memory_order_release);
  return true;
}

bool EngineState::setSessionDatabase(std::int32_t spid, const std::string& name) {
  std::lock_guard lock(mutex_);
  if (!names_.count(lower(name))) return false;
  auto it = sessions_.find(spid);
  if (it != sessions_.end()) it->second.database = lower(name);
  return true;
}

void EngineState::dropDatabase(const std::string& name) {
  const std::string key = lower(name);
  std::lock_guard lock(mutex_);
  if (!validDatabaseName(name) || !names_.count(key))
    throw SqlError(3701, {"drop", "database", name});
  if (key == "master" || key == "tempdb" || key == "model" || key == "msdb")
    throw SqlError(3708, {"drop", name});
  for (const auto& [spid, entry] : sessions_)
    if (entry.database == key) throw SqlError(3702, {name});
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(pathFor("master").c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  SqliteDb master(raw);
  if (rc != SQLITE_OK) throwLastError(raw, rc);
  Settings settings;
  registerFunctions(master.get(), &settings);
  sqlite3_busy_timeout(master.get(), 10000);
  execSql(master.get(), "DELETE FROM sysdatabases WHERE name = ?", {Stored::text(key)});
  master.reset();
  names_.erase(key);
  collations_.erase(key);
  // Sessions that still hold the file open read it until they let go; the
  // name is free at once.
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::error_code ec;
    fs::remove(pathFor(key) + suffix, ec);
  }
  drops_.fetch_add(1, std::memory_order_release);
}

void EngineState::publishSession(std::int32_t spid, const Settings& settings, int openTransactions,
                                 bool busy) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(spid);
  if (it == sessions_.end()) return;
  it->second.settings = settings;
  it->second.openTransactions = openTransactions;
  it->second.busy = busy;
}

std::vector<EngineState::SessionEntry> EngineState::sessions() const {
  std::lock_guard lock(mutex_);
  std::vector<SessionEntry> out;
  for (const auto& [spid, entry] : sessions_) out.push_back(entry);
  return out;
}

void EngineState::createDatabase(const std::string& name, std::uint16_t collation) {
  if (!validDatabaseName(name)) throw SqlError(102, {name});
  {
    std::lock_guard lock(mutex_);
    if (names_.count(lower(name))) throw SqlError(1801, {name});
  }
  createFile(name, collation);
}

void EngineState::createFile(const std::string& name, std::uint16_t collation) {
  std::lock_guard lock(mutex_);
  std::string path = pathFor(name);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  SqliteDb db(raw);
  if (rc != SQLITE_OK) throwLastError(raw, rc);
  Settings settings;
  registerFunctions(db.get(), &settings);
  sqlite3_busy_timeout(db.get(), 10000);
  execSql(db.get(), "PRAGMA journal_mode=WAL");
  Catalog::initialize(db.get(), "main", lower(name) == "master");
  markCollationVersion(db.get());
  keepCollation(db.get(), name, collation);
  names_.insert(lower(name));
  // master keeps the list of databases.
  if (lower(name) != "master") {
    db.reset();
    std::string masterPath = pathFor("master");
    rc = sqlite3_open_v2(masterPath.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    db.reset(raw);
    if (rc != SQLITE_OK) throwLastError(raw, rc);
    registerFunctions(db.get(), &settings);
    sqlite3_busy_timeout(db.get(), 10000);
  }
  bool listed = false;
  querySql(db.get(), "SELECT 1 FROM sysdatabases WHERE name = ?", {Stored::text(lower(name))},
           [&](sqlite3_stmt*) { listed = true; });
  if (listed) return;
  std::int64_t dbid = 0;
  querySql(db.get(), "SELECT coalesce(max(dbid), 0) + 1 FROM sysdatabases", {},
           [&](sqlite3_stmt* s) { dbid = sqlite3_column_int64(s, 0); });
  execSql(db.get(),
          "INSERT INTO sysdatabases(name,dbid,mode,status,status2,crdate,category,cmptlevel,"
          "filename,version) VALUES(?,?,0,16,1090519040,?,0,80,?,539)",
          {Stored::text(lower(name)), Stored::integer(dbid), Stored::integer(nowTicks(false)),
           Stored::text(path)});
}

}  // namespace tessel::sqld::engine

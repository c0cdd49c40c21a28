// Atomic commit across database files.
//
// Design note
//  Every database is a SQLite file in WAL mode, attached to each session's
//  connection. SQLite commits a transaction that wrote several attached files
//  one file after the other: its super-journal makes that atomic only in the
//  rollback-journal modes, and only when the connection's main database is a
//  file (a session's main database is ":memory:"). A kill between two files
//  left the transaction in one and not in the other.
//
//  Measured with SQLite 3.40 on this project's build machine, one row per
//  transaction: a commit to one file costs 6.7 ms in WAL mode with
//  synchronous=FULL and 18.6 ms with journal_mode=TRUNCATE and
//  synchronous=NORMAL (21.8 ms PERSIST, 23 ms DELETE); a commit to two files
//  11.5 ms in WAL and 40.6 ms with TRUNCATE. A rollback journal for every file
//  would triple the cost of every commit, make readers and writers wait for
//  each other again, and still not be atomic over a ":memory:" main database.
//
//  So WAL stays, and a transaction that wrote two or more durable databases
//  (tempdb is made anew at every start and does not count) writes, right
//  before its COMMIT, one row into _tessel_commit of each of them: its commit
//  number and the list of databases it wrote. A transaction that writes one
//  database writes no marker and costs what it did. The number is taken
//  while the transaction holds the write lock of every database it wrote, so
//  a database with a lower number than T's lacks T, and one with a higher
//  number took part in a later transaction, which could write it only after
//  T had released its locks, that is after T was committed in every file.
//
//  At start, before any session, every database's marker is read. A marker T
//  that names a database whose marker is lower is a half-committed T. SQLite
//  writes a WAL commit in the first phase of COMMIT, file after file, and
//  releases the write locks only after the last, so each file that holds T
//  holds it as the last commit of its WAL, not yet checkpointed (a connection
//  checkpoints after its own commits, and none other could commit there).
//  Rolling T back is cutting those WAL files back to the end of the commit
//  before T. The cut is checked: read again, the file's marker must no longer
//  be T; otherwise the bytes are put back and a warning says so.
//
//  Left as it is: a reader may see T in one database a moment before the
//  other while COMMIT runs; a COMMIT that fails with an I/O error in its
//  second file (a full disk) leaves T half-committed until the next start,
//  which rolls it back only if nothing has written the first file since.

#include "atomic_commit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "sqlite_util.h"

namespace tessel::sqld::engine {
namespace {

constexpr char kCreateMarkers[] =
    "CREATE TABLE IF NOT EXISTS %s._tessel_commit(k INTEGER PRIMARY KEY CHECK (k = 1), "
    "xact INTEGER NOT NULL, dbs TEXT NOT NULL)";

struct Marker {
  std::int64_t xact = 0;  // 0: no marker
  std::set<std::string> databases;
};

std::set<std::string> splitNames(const std::string& list) {
  std::set<std::string> out;
  std::stringstream in(list);
  for (std::string name; std::getline(in, name, ',');)
    if (!name.empty()) out.insert(name);
  return out;
}

// Reads a database's marker without checkpointing its WAL on close: the WAL
// may hold a commit to cut.
Marker readMarker(const std::string& path) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  SqliteDb db(raw);
  if (rc != SQLITE_OK) throwLastError(raw, rc);
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_busy_timeout(db.get(), 2000);
  Marker marker;
  bool table = false;
  querySql(db.get(), "SELECT 1 FROM sqlite_master WHERE name = '_tessel_commit'", {},
           [&](sqlite3_stmt*) { table = true; });
  if (!table) return marker;
  querySql(db.get(), "SELECT xact, dbs FROM _tessel_commit WHERE k = 1", {}, [&](sqlite3_stmt* s) {
    marker.xact = sqlite3_column_int64(s, 0);
    marker.databases = splitNames(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
  });
  return marker;
}

std::uint32_t bigEndian32(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The WAL checksum over `n` bytes (a multiple of 8), continuing s0 and s1.
void walChecksum(bool bigEndianWords, const unsigned char* p, std::size_t n, std::uint32_t& s0,
                 std::uint32_t& s1) {
  auto word = [&](const unsigned char* q) {
    return bigEndianWords ? bigEndian32(q)
                          : std::uint32_t{q[3]} << 24 | std::uint32_t{q[2]} << 16 |
                                std::uint32_t{q[1]} << 8 | q[0];
  };
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    s0 += word(p + i) + s1;
    s1 += word(p + i + 4) + s0;
  }
}

constexpr std::size_t kWalHeader = 32;
constexpr std::size_t kFrameHeader = 24;

// The byte offsets just past each valid commit frame of a WAL file, in
// order; empty when the header is not valid.
std::vector<std::size_t> commitEnds(const std::string& wal) {
  std::vector<std::size_t> ends;
  if (wal.size() < kWalHeader) return ends;
  const auto* bytes = reinterpret_cast<const unsigned char*>(wal.data());
  const std::uint32_t magic = bigEndian32(bytes);
  if ((magic & 0xFFFFFFFE) != 0x377F0682) return ends;
  const bool bigWords = magic & 1;
  const std::size_t pageSize = bigEndian32(bytes + 8);
  if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1))) return ends;
  std::uint32_t s0 = 0, s1 = 0;
  walChecksum(bigWords, bytes, 24, s0, s1);
  if (s0 != bigEndian32(bytes + 24) || s1 != bigEndian32(bytes + 28)) return ends;
  const std::size_t frameSize = kFrameHeader + pageSize;
  for (std::size_t at = kWalHeader; at + frameSize <= wal.size(); at += frameSize) {
    const unsigned char* frame = bytes + at;
    if (std::memcmp(frame + 8, bytes + 16, 8) != 0) break;  // salts of an older generation
    walChecksum(bigWords, frame, 8, s0, s1);
    walChecksum(bigWords, frame + kFrameHeader, pageSize, s0, s1);
    if (s0 != bigEndian32(frame + 16) || s1 != bigEndian32(frame + 20)) break;
    if (bigEndian32(frame + 4) != 0) ends.push_back(at + frameSize);
  }
  return ends;
}

bool writeAt(const std::string& path, std::size_t offset, const std::string& bytes, bool truncate) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  if (truncate) ok = ::ftruncate(fd, static_cast<off_t>(offset)) == 0;
  if (ok && !bytes.empty())
    ok = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
         static_cast<ssize_t>(bytes.size());
  ok = ::fsync(fd) == 0 && ok;
  ::close(fd);
  return ok;
}

// Rolls back the last commit of database file `path` when it is commit `id`.
// Returns an empty string on success, otherwise why not.
std::string cutLastCommit(const std::string& path, std::int64_t id) {
  const std::string walPath = path + "-wal";
  std::ifstream in(walPath, std::ios::binary);
  std::string wal((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const std::vector<std::size_t> ends = commitEnds(wal);
  if (ends.empty()) return "its write-ahead log no longer holds it";
  const std::size_t cut = ends.size() >= 2 ? ends[ends.size() - 2] : kWalHeader;
  const std::string removed = wal.substr(cut);
  // The shared-memory index describes the WAL as it was; without it the next
  // connection rebuilds it from the file.
  auto dropIndex = [&] { std::remove((path + "-shm").c_str()); };
  if (!writeAt(walPath, cut, {}, true)) return "its write-ahead log cannot be written";
  dropIndex();
  bool gone = false;
  try {
    gone = readMarker(path).xact != id;
  } catch (const std::exception&) {
  }
  if (gone) return {};
  writeAt(walPath, cut, removed, false);
  dropIndex();
  return "later commits followed it";
}

}  // namespace

std::vector<std::string> writtenDatabases(sqlite3* db, const std::set<std::string>& attached) {
  std::vector<std::string> out;
  for (const std::string& name : attached) {
    if (name == "tempdb") continue;
    if (sqlite3_txn_state(db, name.c_str()) == SQLITE_TXN_WRITE) out.push_back(name);
  }
  return out;
}

void writeCommitMarkers(sqlite3* db, const std::vector<std::string>& databases, std::int64_t id) {
  std::string list;
  for (const std::string& name : databases) list += (list.empty() ? "" : ",") + name;
  for (const std::string& name : databases) {
    char create[256];
    std::snprintf(create, sizeof create, kCreateMarkers, quoteName(name).c_str());
    execSql(db, create);
    execSql(db,
            "INSERT OR REPLACE INTO " + quoteName(name) +
                "._tessel_commit(k, xact, dbs) VALUES (1, ?, ?)",
            {Stored::integer(id), Stored::text(list)});
  }
}

std::vector<std::string> recoverHalfCommits(const std::string& directory,
                                            const std::set<std::string>& names,
                                            std::int64_t& lastId) {
  std::vector<std::string> report;
  auto pathOf = [&](const std::string& name) { return directory + "/" + name + ".db"; };
  std::map<std::string, Marker> markers;
  for (const std::string& name : names) {
    if (name == "tempdb") continue;
    try {
      markers[name] = readMarker(pathOf(name));
      lastId = std::max(lastId, markers[name].xact);
    } catch (const std::exception& e) {
      report.push_back("database '" + name + "' could not be checked for half-committed " +
                       "transactions: " + e.what());
    }
  }
  std::set<std::int64_t> settled;
  for (std::size_t round = 0; round <= markers.size(); ++round) {
    std::int64_t half = 0;
    std::string missing;
    for (const auto& [name, marker] : markers) {
      if (marker.xact == 0 || settled.count(marker.xact)) continue;
      for (const std::string& other : marker.databases) {
        auto it = markers.find(other);
        if (it != markers.end() && it->second.xact < marker.xact) {
          half = marker.xact;
          missing = other;
        }
      }
      if (half) break;
    }
    if (!half) break;
    settled.insert(half);
    for (auto& [name, marker] : markers) {
      if (marker.xact != half) continue;
      std::string why = cutLastCommit(pathOf(name), half);
      if (why.empty()) {
        report.push_back("rolled back in database '" + name + "' transaction " +
                         std::to_string(half) +
                         ", which a crash left committed there and not in '" + missing + "'");
        try {
          marker = readMarker(pathOf(name));
        } catch (const std::exception&) {
          marker = Marker{};
        }
      } else {
        report.push_back("transaction " + std::to_string(half) + " stays committed in database '" +
                         name + "' and not in '" + missing + "': " + why);
      }
    }
  }
  return report;
}

}  // namespace tessel::sqld::engine

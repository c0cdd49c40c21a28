#pragma once

// Atomic commit of a transaction that writes several database files: a
// marker row written into each of them just before COMMIT, and at start the
// rollback of a transaction that a crash left in some of them only. The
// design note is at the top of atomic_commit.cpp.

#include <sqlite3.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tessel::sqld::engine {

// The durable databases `db`'s open transaction has written (tempdb, made
// anew at every start, is left out).
std::vector<std::string> writtenDatabases(sqlite3* db, const std::set<std::string>& attached);

// Writes the marker of commit number `id` into each of `databases`; called
// inside the transaction, right before the statement that commits it.
void writeCommitMarkers(sqlite3* db, const std::vector<std::string>& databases, std::int64_t id);

// Finds and rolls back half-committed transactions among the databases
// `names` (lower case) of `directory`, whose files no connection has open.
// Returns what it did or could not do, one line each, and raises `lastId` to
// the highest commit number found.
std::vector<std::string> recoverHalfCommits(const std::string& directory,
                                            const std::set<std::string>& names,
                                            std::int64_t& lastId);

}  // namespace tessel::sqld::engine

#pragma once

// The SQLite functions and the collation that give T-SQL semantics where
// SQLite's differ: conversions, integer and decimal division, string
// functions that ignore trailing blanks, dates, LIKE with [sets], and the
// case-insensitive collation TSQL_CI. Registered on each session connection;
// `settings` belongs to the session and outlives the connection.

#include <functional>
#include <string_view>

#include "settings.h"

struct sqlite3;

namespace tessel::sqld::engine {

void registerFunctions(sqlite3* db, const Settings* settings);

// The order of TSQL_CI, the case-insensitive, accent-sensitive collation:
// ICU's root collation ignoring case, as the client package compares text
// (collation/text_collation.h), trailing blanks ignored. <0, 0, >0.
int compareCaseInsensitive(std::string_view a, std::string_view b);

// Rebuilds the indexes of the database file `db` when they were built under
// another order than today's TSQL_CI and named collations (an older server or
// another ICU), then records the order in the file. Needs registerFunctions
// on db.
void reindexIfCollationChanged(sqlite3* db);

// Records in a new database file that its indexes follow today's order.
void markCollationVersion(sqlite3* db);

// Case folding of LIKE and the string functions, on code points.
char32_t foldCase(char32_t c);
char32_t upperCase(char32_t c);

// T-SQL LIKE: % _ [abc] [a-z] [^abc], case-insensitive, or with characters
// compared by `order` (<0, 0, >0 on UTF-8 texts), or, `exact`, by code
// point as the binary collations compare them.
using CharacterOrder = std::function<int(std::string_view, std::string_view)>;
bool likeMatch(std::string_view pattern, std::string_view text, int escape,
               const CharacterOrder* order = nullptr, bool exact = false);

}  // namespace tessel::sqld::engine

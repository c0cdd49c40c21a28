#pragma once

// SQLite functions for the table-valued built-ins: t_string_split(text,
// separator) gives STRING_SPLIT's parts as a JSON array for json_each;
// t_json_doc(text) passes JSON through and raises error 13609 for text that
// is not JSON, naming the character and its position.

struct sqlite3;

namespace tessel::sqld::engine {

void registerTableFunctions(sqlite3* db);

}  // namespace tessel::sqld::engine

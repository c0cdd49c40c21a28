#pragma once

// The SQLite functions behind FORMAT (t_format, with ICU's number and date
// formatting) and behind the xml value() method (t_xml_text).

struct sqlite3;

namespace tessel::sqld::engine {

void registerFormatFunctions(sqlite3* db);

}  // namespace tessel::sqld::engine

#pragma once

// The SQLite functions FOR XML's SQL calls: t_base64 writes binary values as
// XML carries them, and the aggregate t_xml_auto nests AUTO mode's elements,
// one per table, a child row inside its parent's element while consecutive
// rows share the parent's values.

#include <string>
#include <string_view>

struct sqlite3;

namespace tessel::sqld::engine {

// Base64 (RFC 4648, with padding) of `bytes`.
std::string base64(std::string_view bytes);

void registerXmlOutputFunctions(sqlite3* db);

}  // namespace tessel::sqld::engine

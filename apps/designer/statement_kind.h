#pragma once

// Whether a query's SQL text may change data on the server, judged from its
// words (outside comments, quoted literals and bracketed names) the way a
// careful reader would: text that only reads starts each statement with
// SELECT or WITH and holds none of the words that write, create, drop or
// run other code. Anything else is taken as changing data, so the preview
// asks before running it. Pure text; any thread.

#include <optional>
#include <string>
#include <string_view>

namespace tessel::designer {

// The first word that makes the text change data ("UPDATE", "EXEC", or the
// first word of a statement that is not a SELECT), upper-cased; nothing
// when the text only reads. Empty text only reads.
std::optional<std::string> DataChangingWord(std::string_view sql);

}  // namespace tessel::designer

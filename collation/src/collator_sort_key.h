#pragma once

// A text's ICU sort key under a given collator, appended to out without the
// terminating zero every key ends with; shared by the server's default order
// and the named collations.

#include <unicode/coll.h>

#include <string>
#include <string_view>

namespace tessel::collation {

void AppendCollatorSortKey(icu::Collator& collator, std::string_view text, std::string& out);

}  // namespace tessel::collation

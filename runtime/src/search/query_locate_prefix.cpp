// Partial-key Locate on one text field through a prefix index
// (prefix_index.h): the folded runs records enter under, and the search.
//
// The index answers only for a search text of printable ASCII, where the
// byte loop of collation::StartsWith decides from the runs; any other text
// (or a null, or several key fields) is left to the scan. A record the runs
// cannot decide is tested by SlotMatches, the scan's own test.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "collation/text_collation.h"
#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "search/locate_index.h"
#include "search/query_search_key.h"

namespace tessel {
namespace {

// Folds text's leading run of printable ASCII into out, one weight per
// character at the level Fold ranks; true when the run is all of text.
bool FoldRun(std::string_view text, const collation::AsciiWeights& weights,
             const std::array<std::uint8_t, 256>& fold, std::string& out) {
  out.clear();
  for (const char c : text) {
    const std::uint8_t byte = collation::ascii::Byte(c);
    if (weights.Primary[byte] == 0) return false;
    out += static_cast<char>(fold[byte]);
  }
  return true;
}

}  // namespace

bool TTessel::PrefixFind(const SearchKey& Key, int& Position) {
  if (Key.Null || Key.Never || Key.Kind != KeyKind::Text || Key.Area > 0xFFFF) return false;
  const collation::AsciiWeights& weights = collation::Weights();
  const bool ignoreCase = (Key.Options & loCaseInsensitive) != 0;
  // Tertiary ranks are equal exactly when the loop takes two characters as
  // equal with case counting (primary and tertiary alike), primary ranks
  // when ignoring it.
  const std::array<std::uint8_t, 256>& fold = ignoreCase ? weights.Primary : weights.Tertiary;
  std::string wanted;
  if (!FoldRun(Key.Text, weights, fold, wanted)) return false;

  const std::string spec = "p" + std::to_string(Key.Field->FieldNo()) + (ignoreCase ? "i" : ",");
  if (!FLocateIndexes) FLocateIndexes = std::make_unique<LocateIndexes>();
  const int count = RecordCountHeld();
  const std::vector<void*>& items = FRecordCache.List();
  const auto record = [&](int position) {
    return static_cast<const char*>(items[static_cast<std::size_t>(position - 1)]);
  };
  // An entry and a key per record: the keys' size estimated from up to 256
  // records spread over the cache, as the field's area (sized for the widest
  // text the column could send) would overstate it several times.
  std::size_t sampled = 0;
  int seen = 0;
  for (int p = 1; p <= count; p += std::max(1, count / 256), ++seen) {
    const char* slot = record(p) + Key.Offset;
    if (slot[0] != 0) sampled += slots::Text(slot + 1, Key.Area).size();
  }
  const std::size_t bytes =
      std::size_t(count) * (16 + (seen > 0 ? sampled / std::size_t(seen) + 1 : 0));
  PrefixIndex* index = FLocateIndexes->UsePrefix(spec, count, FRecordCache.Changes(), bytes);
  if (index == nullptr) return false;

  // Rows read since the index was last used (or all of them, when new).
  std::string run;
  for (int p = index->Covered() + 1; p <= count; ++p) {
    const char* slot = record(p) + Key.Offset;
    if (slot[0] == 0) continue;
    const bool whole = FoldRun(slots::Text(slot + 1, Key.Area), weights, fold, run);
    index->Add(run, whole, p);
  }
  index->Settle(count);
  Position =
      index->Find(wanted, [&](int candidate) { return SlotMatches(Key, record(candidate)); });
  return true;
}

}  // namespace tessel

#include "search/field_list_memo.h"

namespace tessel {

const std::vector<TField*>& FieldListMemo::Resolve(const TDataSet& DataSet,
                                                   std::string_view Names) {
  const std::uint64_t version = DataSet.Fields()->Version();
  for (Entry& entry : FEntries) {
    if (entry.Used && entry.Version == version && entry.Names == Names) return entry.Fields;
  }
  Entry& entry = FEntries[FNext];
  FNext = (FNext + 1) % kEntries;
  entry.Used = false;
  entry.Fields.clear();
  DataSet.GetFieldList(entry.Fields, Names);
  entry.Names = Names;
  entry.Version = version;
  entry.Used = true;
  return entry.Fields;
}

}  // namespace tessel

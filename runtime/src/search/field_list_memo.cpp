#include "search/field_list_memo.h"

#include <algorithm>

namespace tessel {

bool FieldListMemo::StillHolds(const Entry& entry, const std::vector<TField*>& fields) {
  for (std::size_t i = 0; i < entry.Fields.size(); ++i) {
    // The place is checked first: a field no longer in the list may be gone.
    const std::size_t place = entry.Places[i];
    if (place >= fields.size() || fields[place] != entry.Fields[i] ||
        entry.Fields[i]->FieldName() != entry.FieldNames[i]) {
      return false;
    }
  }
  return true;
}

const std::vector<TField*>& FieldListMemo::Resolve(const TDataSet& DataSet,
                                                   std::string_view Names) {
  const std::vector<TField*>& fields = DataSet.Fields()->List();
  for (Entry& entry : FEntries) {
    if (entry.Used && entry.Names == Names && StillHolds(entry, fields)) return entry.Fields;
  }
  Entry& entry = FEntries[FNext];
  FNext = (FNext + 1) % kEntries;
  entry.Used = false;
  entry.Fields.clear();
  DataSet.GetFieldList(entry.Fields, Names);
  entry.Names = Names;
  entry.Places.clear();
  entry.FieldNames.clear();
  for (TField* field : entry.Fields) {
    entry.Places.push_back(
        static_cast<std::size_t>(std::find(fields.begin(), fields.end(), field) - fields.begin()));
    entry.FieldNames.push_back(field->FieldName());
  }
  entry.Used = true;
  return entry.Fields;
}

}  // namespace tessel

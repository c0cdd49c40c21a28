#pragma once

// The fields that lists of field names ("id;name") stand for, remembered for
// the last few lists, so that a Locate or Lookup repeated with the same names
// (a grid's lookup field asks once per cell) does not split the text and
// search the dataset's fields by name each time.
//
// A remembered list is used only while each of its fields is still at the
// same place in the dataset's field list under the same name: the dataset's
// own resolution would then give the same fields, since no two fields share
// a name. Anything else resolves afresh.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/dataset.h"

namespace tessel {

class FieldListMemo {
 public:
  // The fields of Names as DataSet.GetFieldList gives them (raising as it
  // does for an unknown name). The list stays good until the next call.
  const std::vector<TField*>& Resolve(const TDataSet& DataSet, std::string_view Names);

 private:
  struct Entry {
    std::string Names;
    std::vector<TField*> Fields;
    std::vector<std::size_t> Places;      // in the dataset's field list
    std::vector<std::string> FieldNames;  // as they were when resolved
    bool Used = false;
  };
  static bool StillHolds(const Entry& entry, const std::vector<TField*>& fields);

  static constexpr std::size_t kEntries = 4;
  std::array<Entry, kEntries> FEntries;
  std::size_t FNext = 0;  // the entry a new list replaces
};

}  // namespace tessel

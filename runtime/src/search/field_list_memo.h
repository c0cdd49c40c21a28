#pragma once

// The fields that lists of field names ("id;name") stand for, remembered for
// the last few lists, so that a Locate or Lookup repeated with the same names
// (a grid's lookup field asks once per cell) does not split the text and
// search the dataset's fields by name each time.
//
// A remembered list is used only while the dataset's field list keeps the
// version it had when the list was resolved: no field has joined, left or
// been renamed since, so the dataset's own resolution would give the same
// fields. Anything else resolves afresh.

#include <array>
#include <cstddef>
#include <cstdint>
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
    std::uint64_t Version = 0;  // of the dataset's field list when resolved
    bool Used = false;
  };

  static constexpr std::size_t kEntries = 4;
  std::array<Entry, kEntries> FEntries;
  std::size_t FNext = 0;  // the entry a new list replaces
};

}  // namespace tessel

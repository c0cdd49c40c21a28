#pragma once

#include "framework/dataset.h"

namespace tessel::controls {

// Lets a control read records of a dataset others are bound to: their
// controls stay quiet, and the record that was current is current again
// however the reading ends.
class CursorKeeper {
 public:
  explicit CursorKeeper(TDataSet* dataset) : dataset_(dataset) {
    dataset_->DisableControls();
    if (!dataset_->IsEmpty()) bookmark_ = dataset_->GetBookmark();
  }
  ~CursorKeeper() {
    try {
      if (!bookmark_.empty()) dataset_->GotoBookmark(bookmark_);
    } catch (...) {
      // The record went away meanwhile; the dataset keeps a valid cursor.
    }
    dataset_->EnableControls();
  }
  CursorKeeper(const CursorKeeper&) = delete;
  CursorKeeper& operator=(const CursorKeeper&) = delete;

 private:
  TDataSet* dataset_;
  TBookmark bookmark_;
};

// Calls visit() on each record of the dataset, first to last, as the
// current record, and leaves the cursor where it was.
template <typename Visit>
void ForEachRecord(TDataSet* dataset, Visit visit) {
  CursorKeeper keep(dataset);
  for (dataset->First(); !dataset->Eof(); dataset->Next()) visit();
}

}  // namespace tessel::controls

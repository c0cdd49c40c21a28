// Bookmarks: copies of the descendant's bookmark data of the active record.

#include "framework/dataset.h"

namespace tessel {

TBookmark TDataSet::GetBookmark() {
  // Only a record that is in the cursor has a bookmark: not an empty window,
  // not a record being inserted.
  const bool available = (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) &&
                         !IsEmpty() && bookmark_size_ > 0 &&
                         GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
  if (!available) return {};
  TBookmark bookmark(static_cast<std::size_t>(bookmark_size_));
  GetBookmarkData(ActiveBuffer(), bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark.data());
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const char* /*bookmark*/) {
  return false;
}

int TDataSet::CompareBookmarks(const char* /*a*/, const char* /*b*/) {
  return 0;
}

}  // namespace tessel

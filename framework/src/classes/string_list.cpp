#include <algorithm>

#include "framework/exceptions.h"
#include "framework/string_list.h"
#include "framework/sysutils.h"

namespace tessel {

void TStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) Error("List index out of bounds (%d)", index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index, Count());
  return items_[index].text;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted_) Error("Operation not allowed on sorted string list (index %d)", index);
  CheckIndex(index, Count());
  Changing();
  items_[index].text = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index, Count());
  return items_[index].object;
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index, Count());
  Changing();
  items_[index].object = object;
  Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

void TStringList::Insert(int index, const std::string& s) {
  if (sorted_) Error("Operation not allowed on sorted string list (index %d)", index);
  CheckIndex(index, Count() + 1);
  InsertItem(index, s, nullptr);
}

int TStringList::Add(const std::string& s) {
  if (!sorted_) {
    InsertItem(Count(), s, nullptr);
    return Count() - 1;
  }
  int index = 0;
  if (Find(s, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) {
      throw EStringListError("String list does not allow duplicates: '" + s + "'");
    }
  }
  InsertItem(index, s, nullptr);
  return index;
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count());
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TStringList::IndexOf(std::string_view s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

void TStringList::Move(int from, int to) {
  if (from == to) return;
  CheckIndex(from, Count());
  CheckIndex(to, Count());
  Changing();
  Item item = std::move(items_[from]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(item));
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (value && !sorted_) Sort();
  sorted_ = value;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [](const Item& a, const Item& b) { return CompareText(a.text, b.text) < 0; });
  Changed();
}

bool TStringList::Find(std::string_view s, int& index) const {
  // The first of equal entries, so IndexOf agrees with an unsorted search.
  int low = 0;
  int high = Count();
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (CompareText(items_[mid].text, s) < 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  index = low;
  return low < Count() && CompareText(items_[low].text, s) == 0;
}

void TStringList::SetUpdateState(bool updating) {
  // OnChanging fires as the bracket opens, OnChange as it closes.
  if (updating) {
    Changing();
    updating_ = true;
  } else {
    updating_ = false;
    Changed();
  }
}

void TStringList::Changing() {
  if (!updating_ && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (!updating_ && OnChange) OnChange(this);
}

}  // namespace tessel

#pragma once

// TList: an ordered list of untyped pointers. It owns nothing it points to.
// Indexes outside 0..Count-1 raise EListError naming the index. Not thread-safe.

#include <functional>
#include <vector>

#include "framework/object.h"

namespace tessel {

class TList : public TObject {
 public:
  TList() = default;
  ~TList() override = default;

  int Count() const { return static_cast<int>(items_.size()); }
  void* Get(int index) const;
  void Put(int index, void* item);
  void* operator[](int index) const { return Get(index); }

  // Returns the index of the new item.
  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  // Removes the first occurrence; returns its former index or -1.
  int Remove(void* item);
  // Removes the first occurrence and returns the item, or nullptr when absent.
  void* Extract(void* item);
  int IndexOf(const void* item) const;
  void Exchange(int index1, int index2);
  void Move(int from, int to);
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }
  // Removes every null entry.
  void Pack();
  void Clear() { items_.clear(); }
  // Orders the items; compare returns <0, 0 or >0 like CompareText.
  void Sort(const std::function<int(void*, void*)>& compare);

  int Capacity() const { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int capacity);
  const std::vector<void*>& List() const { return items_; }

 private:
  void CheckIndex(int index, int limit) const;
  std::vector<void*> items_;
};

}  // namespace tessel

#pragma once

// Large arrays that the record cache fills at once and reads at random
// places (key indexes, the keys of a sort) asked to be backed by 2 MB pages
// where the system allows it: a million records' keys then cost a handful of
// page faults to fill and few address translations to read, where 4 KB
// pages cost thousands of each.

#include <cstddef>
#include <vector>

namespace tessel {

// Asks for 2 MB pages for the whole 2 MB spans within Bytes at Data that are
// not touched yet. Advice only: nothing changes where the system declines.
void AdviseHugePages(const void* Data, std::size_t Bytes);

// Makes Values hold Count copies of Value in fresh storage advised as above
// (the storage it had goes).
template <typename T>
void AssignAdvised(std::vector<T>& Values, std::size_t Count, const T& Value) {
  std::vector<T> fresh;
  fresh.reserve(Count);
  AdviseHugePages(fresh.data(), Count * sizeof(T));
  fresh.assign(Count, Value);
  Values.swap(fresh);
}

// Gives Values room for Count elements, in fresh storage advised as above
// when it has less; its elements stay.
template <typename T>
void ReserveAdvised(std::vector<T>& Values, std::size_t Count) {
  if (Values.capacity() >= Count) return;
  std::vector<T> fresh;
  fresh.reserve(Count);
  AdviseHugePages(fresh.data(), Count * sizeof(T));
  fresh.assign(Values.begin(), Values.end());
  Values.swap(fresh);
}

}  // namespace tessel

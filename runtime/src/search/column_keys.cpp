#include "search/column_keys.h"

#include <algorithm>
#include <utility>

#include "search/huge_pages.h"

namespace tessel {

std::vector<std::uint64_t> ColumnKeys::Take(int SlotOffset, int ColumnType, std::size_t& Null) {
  const auto column = std::find_if(FColumns.begin(), FColumns.end(), [&](const Column& c) {
    return c.SlotOffset == SlotOffset && c.ColumnType == ColumnType;
  });
  if (column == FColumns.end()) return {};
  std::vector<std::uint64_t> keys = std::move(column->Keys);
  Null = column->Null;
  FColumns.erase(column);
  return keys;
}

void ColumnKeys::Put(int SlotOffset, int ColumnType, std::vector<std::uint64_t>&& Keys,
                     std::size_t Null, std::uint64_t Changes) {
  if (!FColumns.empty() && Keys.size() != FRecords) FColumns.clear();
  FColumns.erase(std::remove_if(FColumns.begin(), FColumns.end(),
                                [&](const Column& c) {
                                  return c.SlotOffset == SlotOffset && c.ColumnType == ColumnType;
                                }),
                 FColumns.end());
  FRecords = Keys.size();
  FChanges = Changes;
  FColumns.push_back(Column{SlotOffset, ColumnType, Null, std::move(Keys)});
}

void ColumnKeys::Follow(const std::vector<std::uint64_t>& Places, std::uint64_t Changes) {
  if (Places.size() != FRecords) {
    Clear();
    return;
  }
  for (Column& column : FColumns) {
    ReserveAdvised(FSpare, Places.size());
    FSpare.resize(Places.size());
    std::size_t null = column.Keys.size();
    for (std::size_t i = 0; i < Places.size(); ++i) {
      const std::size_t from = Places[i];
      FSpare[i] = column.Keys[from];
      if (from == column.Null) null = i;
    }
    column.Keys.swap(FSpare);
    column.Null = null;
  }
  FChanges = Changes;
}

void ColumnKeys::Clear() {
  FColumns.clear();
  DropSpare();
  FRecords = 0;
}

void ColumnKeys::DropSpare() {
  FSpare.clear();
  FSpare.shrink_to_fit();
}

std::size_t ColumnKeys::Bytes() const {
  std::size_t bytes = FSpare.capacity() * sizeof(std::uint64_t);
  for (const Column& column : FColumns) bytes += column.Keys.capacity() * sizeof(std::uint64_t);
  return bytes;
}

}  // namespace tessel

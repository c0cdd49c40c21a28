#include "search/sorted_keys.h"

#include <utility>

namespace tessel {

void SortedKeys::Keep(int SlotOffset, int ColumnType, Form KeyForm, bool Descending, int Nulls,
                      std::vector<std::uint64_t>&& Keys, std::uint64_t Changes) {
  ClearKeys();
  FKeys = std::move(Keys);
  FSlotOffset = SlotOffset;
  FColumnType = ColumnType;
  FForm = KeyForm;
  FDescending = Descending;
  FNulls = Nulls;
  FChanges = Changes;
  FValid = true;
}

void SortedKeys::KeepTexts(int SlotOffset, int ColumnType, Form KeyForm, bool Descending, int Nulls,
                           std::string&& Store, std::vector<std::string_view>&& Texts,
                           std::uint64_t Changes) {
  Keep(SlotOffset, ColumnType, KeyForm, Descending, Nulls, {}, Changes);
  const char* base = Store.data();
  FStore = std::move(Store);
  FTexts = std::move(Texts);
  // A short store moves by copy: its views follow it.
  if (FStore.data() != base) {
    for (std::string_view& text : FTexts) {
      text = std::string_view(FStore.data() + (text.data() - base), text.size());
    }
  }
}

std::vector<std::uint64_t> SortedKeys::TakeKeyStorage() {
  std::vector<std::uint64_t> storage = std::move(FKeys);
  storage.clear();
  ClearKeys();
  return storage;
}

void SortedKeys::Clear() {
  ClearKeys();
  FColumns.Clear();
}

void SortedKeys::ClearKeys() {
  FKeys.clear();
  FKeys.shrink_to_fit();
  FTexts.clear();
  FTexts.shrink_to_fit();
  FStore.clear();
  FStore.shrink_to_fit();
  FValid = false;
}

}  // namespace tessel

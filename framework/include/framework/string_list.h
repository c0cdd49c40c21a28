#pragma once

// TStrings: the abstract list of strings, each with an optional associated
// object (never owned). TStringList: the concrete list with change events,
// sorting and duplicates control. IndexOf and sorting compare without regard
// to case (ASCII). Not thread-safe.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/persistent.h"

namespace tessel {

class TStream;

// The line break Text writes; SetText accepts CR LF, LF and CR alike.
inline constexpr const char* sLineBreak = "\n";

class TStrings : public TPersistent {
 public:
  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  // Appends (or, in a sorted list, inserts in order); returns the index.
  virtual int Add(const std::string& s);
  int AddObject(const std::string& s, TObject* object);
  void InsertObject(int index, const std::string& s, TObject* object);
  void Append(const std::string& s) { Add(s); }
  void AddStrings(const TStrings& strings);
  // Copies lines and objects of another TStrings (nullptr empties the list),
  // as one change: OnChange runs once.
  void Assign(const TPersistent* source) override;
  void Assign(const TStrings& source) { Assign(static_cast<const TPersistent*>(&source)); }
  bool Equals(const TStrings& strings) const;
  void Exchange(int index1, int index2);
  virtual void Move(int from, int to);

  // Changes between BeginUpdate and the matching EndUpdate are reported once, at the end.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // First index of s compared without regard to case; -1 when absent.
  virtual int IndexOf(std::string_view s) const;
  int IndexOfObject(const TObject* object) const;
  // Lines of the form name=value.
  int IndexOfName(std::string_view name) const;
  std::string Names(int index) const;
  std::string Values(std::string_view name) const;
  // An empty value removes the line.
  void SetValue(std::string_view name, const std::string& value);

  std::string Strings(int index) const { return Get(index); }
  void SetStrings(int index, const std::string& s) { Put(index, s); }
  std::string operator[](int index) const { return Get(index); }

  // Every line followed by sLineBreak.
  std::string Text() const;
  // Replaces the lines; a final line break adds no empty line.
  virtual void SetText(std::string_view text);
  // Lines separated by commas; a line holding a blank, comma, quote or control
  // character is double-quoted with inner quotes doubled. SetCommaText also
  // splits at blanks outside quotes.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);
  std::vector<std::string> ToVector() const;

  // The whole stream from its position, or the whole file, as Text.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name) const;

 protected:
  // Called with true when the first BeginUpdate starts and false when the last EndUpdate ends.
  virtual void SetUpdateState(bool updating);
  // Raises EStringListError with the format and the index.
  [[noreturn]] void Error(const char* format, int index) const;

 private:
  int update_count_ = 0;
};

enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override = default;

  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;
  int IndexOf(std::string_view s) const override;
  void Move(int from, int to) override;
  using TStrings::Assign;

  // A sorted list keeps its lines in CompareText order; Insert and Put raise on it.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  void Sort();
  // Binary search in a sorted list: true with the index of s, or false with
  // the index where s would be inserted.
  bool Find(std::string_view s, int& index) const;

  // OnChanging runs before and OnChange after every change (once for a
  // BeginUpdate/EndUpdate bracket).
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  virtual void Changing();
  virtual void Changed();

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  void CheckIndex(int index, int limit) const;
  void InsertItem(int index, const std::string& s, TObject* object);

  std::vector<Item> items_;
  bool sorted_ = false;
  bool updating_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

}  // namespace tessel

// TStrings: what every string list does in terms of the abstract Get, Put,
// Insert and Delete of its descendants.

#include <string>

#include "framework/exceptions.h"
#include "framework/streams.h"
#include "framework/string_list.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

// Ends a BeginUpdate bracket on every exit path.
class UpdateScope {
 public:
  explicit UpdateScope(TStrings& strings) : strings_(strings) { strings_.BeginUpdate(); }
  ~UpdateScope() { strings_.EndUpdate(); }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TStrings& strings_;
};

bool NeedsQuotes(const std::string& s) {
  if (s.empty()) return true;
  for (char c : s) {
    if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') return true;
  }
  return false;
}

}  // namespace

void TStrings::Put(int index, const std::string& s) {
  UpdateScope scope(*this);
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const {
  return nullptr;
}

void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, TObject* object) {
  UpdateScope scope(*this);
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::InsertObject(int index, const std::string& s, TObject* object) {
  UpdateScope scope(*this);
  Insert(index, s);
  PutObject(index, object);
}

void TStrings::AddStrings(const TStrings& strings) {
  UpdateScope scope(*this);
  // Count is read once: adding a list to itself doubles it instead of looping forever.
  const int n = strings.Count();
  for (int i = 0; i < n; ++i) AddObject(strings.Get(i), strings.GetObject(i));
}

void TStrings::Assign(const TPersistent* source) {
  if (source == this) return;
  if (source == nullptr) {
    UpdateScope scope(*this);
    Clear();
    return;
  }
  if (const auto* strings = dynamic_cast<const TStrings*>(source)) {
    UpdateScope scope(*this);
    Clear();
    AddStrings(*strings);
    return;
  }
  TPersistent::Assign(source);
}

bool TStrings::Equals(const TStrings& strings) const {
  if (Count() != strings.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    if (Get(i) != strings.Get(i)) return false;
  }
  return true;
}

void TStrings::Exchange(int index1, int index2) {
  UpdateScope scope(*this);
  const std::string s1 = Get(index1);
  TObject* o1 = GetObject(index1);
  Put(index1, Get(index2));
  PutObject(index1, GetObject(index2));
  Put(index2, s1);
  PutObject(index2, o1);
}

void TStrings::Move(int from, int to) {
  if (from == to) return;
  UpdateScope scope(*this);
  const std::string s = Get(from);
  TObject* object = GetObject(from);
  Delete(from);
  InsertObject(to, s, object);
}

void TStrings::BeginUpdate() {
  if (update_count_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Get(i), s)) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0; i < Count(); ++i) {
    if (GetObject(i) == object) return i;
  }
  return -1;
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string line = Get(i);
    const auto eq = line.find('=');
    if (eq != std::string::npos && SameText(std::string_view(line).substr(0, eq), name)) return i;
  }
  return -1;
}

std::string TStrings::Names(int index) const {
  const std::string line = Get(index);
  const auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStrings::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string line = Get(index);
  return line.substr(line.find('=') + 1);
}

void TStrings::SetValue(std::string_view name, const std::string& value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
  } else if (index >= 0) {
    Put(index, std::string(name) + "=" + value);
  } else {
    Add(std::string(name) + "=" + value);
  }
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += sLineBreak;
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  UpdateScope scope(*this);
  Clear();
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    Add(std::string(text.substr(i, end - i)));
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
}

std::string TStrings::CommaText() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) out += ',';
    const std::string s = Get(i);
    if (!NeedsQuotes(s)) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(std::string_view text) {
  UpdateScope scope(*this);
  Clear();
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  };
  skip_blanks();
  while (i < text.size()) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < text.size() && static_cast<unsigned char>(text[i]) > ' ' && text[i] != ',') {
        item += text[i++];
      }
    }
    Add(item);
    skip_blanks();
    if (i < text.size() && text[i] == ',') {
      ++i;
      skip_blanks();
      // A trailing comma still separates: it ends with an empty item.
      if (i >= text.size()) Add("");
    }
  }
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> out;
  out.reserve(Count());
  for (int i = 0; i < Count(); ++i) out.push_back(Get(i));
  return out;
}

void TStrings::LoadFromStream(TStream& stream) {
  const std::int64_t size = stream.Size() - stream.Position();
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  stream.ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
  const std::string text = Text();
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, fmOpenRead);
  LoadFromStream(file);
}

void TStrings::SaveToFile(const std::string& file_name) const {
  TFileStream file(file_name, fmCreate);
  SaveToStream(file);
}

void TStrings::Error(const char* format, int index) const {
  throw EStringListError(Format(format, {index}));
}

}  // namespace tessel

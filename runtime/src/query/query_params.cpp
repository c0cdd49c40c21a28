// The SQL text and its parameters: finding the ":name" markers (see
// sql_markers.h), rebuilding the parameter list when the text changes, and
// writing values into the text as literals (see values/literals.h).

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "query/sql_markers.h"
#include "runtime/Tessel.h"
#include "values/literals.h"

namespace tessel {
namespace {

bool IsLiteral(char c) {
  return c == '\'' || c == '"';
}

bool IsNameDelimiter(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ')' || c == '\r' || c == '\n';
}

// A quoted name loses one leading and one trailing single quote, then one
// leading and one trailing double quote, each only when present.
std::string Unquote(std::string_view raw) {
  for (char quote : {'\'', '"'}) {
    if (!raw.empty() && raw.front() == quote) raw.remove_prefix(1);
    if (!raw.empty() && raw.back() == quote) raw.remove_suffix(1);
  }
  return std::string(raw);
}

}  // namespace

std::vector<Marker> ScanMarkers(std::string_view text) {
  std::vector<Marker> markers;
  bool in_literal = false;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (IsLiteral(c)) {
      in_literal = !in_literal;
      ++i;
      continue;
    }
    if (c != ':' || in_literal) {
      ++i;
      continue;
    }
    if (i + 1 < n && text[i + 1] == ':') {  // an escaped colon
      i += 2;
      continue;
    }
    const std::size_t start = i + 1;
    std::size_t j = start;
    while (j < n) {
      if (IsLiteral(text[j])) {
        in_literal = !in_literal;
      } else if (!in_literal && IsNameDelimiter(text[j])) {
        break;
      }
      ++j;
    }
    const std::string_view raw = text.substr(start, j - start);
    const bool quoted = start < n && IsLiteral(text[start]);
    markers.push_back(Marker{i, j, quoted ? Unquote(raw) : std::string(raw)});
    i = j + 1;  // the delimiter that ended the name is not looked at again
  }
  return markers;
}

void TTessel::CreateParams(TParams* List, const char* Value) {
  if (Value == nullptr) return;
  const std::vector<Marker> markers = ScanMarkers(Value);
  if (List == nullptr) return;
  for (const Marker& marker : markers) List->CreateParam(ftUnknown, marker.name, ptUnknown);
}

std::string TTessel::InsertParams(const std::string& SQL) {
  if (DataSource() != nullptr) SetParamsFromCursor();
  const std::string text = SQL + " ";
  // The n-th marker of a name takes the n-th parameter of that name.
  std::unordered_map<std::string, std::vector<const TParam*>> by_name;
  for (int i = 0; i < FParams->Count(); ++i) {
    const TParam* param = FParams->Items(i);
    by_name[param->Name()].push_back(param);
  }
  std::unordered_map<std::string, std::size_t> used;
  std::string result;
  result.reserve(text.size());
  std::size_t copied = 0;
  for (const Marker& marker : ScanMarkers(text)) {
    auto found = by_name.find(marker.name);
    if (found == by_name.end()) continue;
    std::size_t& n = used[marker.name];
    if (n >= found->second.size()) continue;
    const std::string value = values::SqlLiteral(*found->second[n++]);
    result.append(text, copied, marker.begin - copied);
    result += value;
    copied = marker.end;
  }
  result.append(text, copied, std::string::npos);
  return result;
}

void TTessel::QueryChanged(TObject*) {
  if (ComponentState().Contains(csLoading)) {
    CreateParams(nullptr, FSQL->Text().c_str());
    return;
  }
  FParamData.reset();
  // The tables of text and image columns belong to the old text.
  FFieldList.reset();
  Close();
  // The procedure made from the old text would go on running it.
  if (FPrepared) {
    try {
      Unprepare();
    } catch (const std::exception&) {
      FPrepared = false;
      FProcName.clear();
    }
  }
  if (FParamCheck || ComponentState().Contains(csDesigning) || DataSource() != nullptr) {
    try {
      auto fresh = std::make_unique<TParams>(this);
      CreateParams(fresh.get(), FSQL->Text().c_str());
      fresh->AssignValues(*FParams);
      FParams = std::move(fresh);
    } catch (const std::exception&) {
      // The old list stays in place.
    }
  } else {
    DataEvent(dePropertyChange, 0);
  }
}

void TTessel::SetParamsFromCursor() {
  TDataSource* source = DataSource();
  if (source == nullptr || source->DataSet() == nullptr) return;
  TDataSet* master = source->DataSet();
  master->FieldDefs()->Update();
  for (int i = 0; i < FParams->Count(); ++i) {
    TParam* param = FParams->Items(i);
    const std::string& name = param->Name();
    const bool old = name.size() >= 4 && SameText(name.substr(0, 4), "OLD_");
    TField* field = master->FindField(old ? name.substr(4) : name);
    if (field == nullptr) continue;
    param->AssignFieldValue(field, old ? field->OldValue() : field->NewValue());
    param->SetBound(false);
  }
}

void TTessel::RefreshParams() {
  DisableControls();
  try {
    TDataSource* source = DataSource();
    TDataSet* master = source != nullptr ? source->DataSet() : nullptr;
    if (master != nullptr && master->Active() && master->State() != dsSetKey) {
      Close();
      Open();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

}  // namespace tessel

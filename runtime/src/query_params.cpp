// The SQL text and its parameters: finding the ":name" markers, rebuilding
// the parameter list when the text changes, and writing values into the text.
//
// Markers are found by one scanner, ScanMarkers, for both parsing and
// substitution, so the two always agree on what is a marker: a colon outside
// a quoted literal, not doubled, followed by a name that runs to the first
// blank, comma, semicolon, closing parenthesis or line break outside quotes.

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"

namespace tessel {
namespace {

struct Marker {
  std::size_t begin;  // the colon
  std::size_t end;    // one past the name
  std::string name;
};

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

std::string EightDigitDate(TDateTime value) {
  int year = 0, month = 0, day = 0;
  DecodeDate(value, year, month, day);
  return Format("%.4d%.2d%.2d", {year, month, day});
}

// A binary value as a T-SQL binary literal. Its raw bytes written into the
// text would be read as SQL.
std::string BinaryLiteral(const TBytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  text.reserve(2 + 2 * bytes.size());
  for (const auto byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

// A string, memo or blob value as a quoted literal. The client library takes the
// statement as a zero-terminated text, so a zero byte would end the statement
// inside the literal; such a value is refused rather than cut. A prepared
// statement passes it whole as a procedure parameter.
std::string TextLiteral(const TParam& param) {
  const std::string value = param.AsString();
  if (value.find('\0') != std::string::npos) {
    DatabaseError(
        Format("Parameter '%s' contains a zero character; send it through Prepare as a procedure "
               "parameter",
               {param.Name()}));
  }
  return QuotedStr(value);
}

// A parameter's value as it is written into the SQL text.
std::string ValueText(const TParam& param) {
  if (param.IsNull()) return "null";
  switch (param.DataType()) {
    case ftString:
    case ftMemo:
    case ftBlob:
      return TextLiteral(param);
    case ftDateTime:
      return QuotedStr(EightDigitDate(param.AsDateTime()) + " " + TimeToStr(param.AsDateTime()));
    case ftDate:
      return QuotedStr(EightDigitDate(param.AsDateTime()));
    case ftTime:
      return QuotedStr(TimeToStr(param.AsDateTime()));
    case ftBoolean:
      return param.AsBoolean() ? "-1" : "0";
    case ftFloat:
    case ftCurrency:
      // Format's %g always writes "." whatever the host's settings.
      return Format("%g", {param.AsFloat()});
    case ftBytes:
    case ftVarBytes:
      return BinaryLiteral(param.AsBytes());
    default:
      return param.AsString();
  }
}

}  // namespace

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
    const std::string value = ValueText(*found->second[n++]);
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

// Field values by name, values of other states, and the generic Locate and
// Lookup that walk the records through the ordinary navigation.

#include <utility>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

bool TextMatches(const std::string& stored, const std::string& key, TLocateOptions options) {
  std::string a = stored;
  std::string b = key;
  if (options & loCaseInsensitive) {
    a = AnsiUpperCase(a);
    b = AnsiUpperCase(b);
  }
  if (options & loPartialKey) return a.compare(0, b.size(), b) == 0;
  return a == b;
}

// A decimal field's variant is its text, which a text key would match only
// when written at the same scale ("1.5" against "1.50"): such keys, and
// exact money and integer keys, are compared as decimals.
bool DecimalKey(const Variant& key, Decimal& value) {
  try {
    switch (key.VarType()) {
      case varString:
        value = Decimal::FromString(key.AsString());
        return true;
      case varCurrency:
        value = Decimal::FromCurrency(key.AsCurrency());
        return true;
      case varInteger:
      case varSmallint:
        value = Decimal::FromInteger(key.AsInteger());
        return true;
      default:
        return false;
    }
  } catch (const EConvertError&) {
    return false;
  }
}

bool FieldMatches(const TField* field, const Variant& key, TLocateOptions options) {
  if (key.IsNull() || key.IsEmpty()) return field->IsNull();
  if (field->IsNull()) return false;
  if (field->DataType() == ftString || field->DataType() == ftMemo) {
    return TextMatches(field->AsString(), VarToStr(key), options);
  }
  Decimal decimal_key;
  if (const auto* bcd = dynamic_cast<const TBCDField*>(field);
      bcd && DecimalKey(key, decimal_key)) {
    return bcd->AsDecimal() == decimal_key;
  }
  return VarCompare(field->AsVariant(), key) == 0;
}

const Variant& KeyValue(const Variant& values, std::size_t index, std::size_t count) {
  if (count == 1 && !values.IsArray()) return values;
  return values[static_cast<int>(index)];
}

}  // namespace

Variant TDataSet::FieldValues(std::string_view names) const {
  std::vector<TField*> list;
  GetFieldList(list, names);
  if (list.size() == 1) return list.front()->AsVariant();
  std::vector<Variant> values;
  values.reserve(list.size());
  for (const TField* field : list) values.push_back(field->AsVariant());
  return Variant::FromArray(std::move(values));
}

void TDataSet::SetFieldValues(std::string_view names, const Variant& value) {
  std::vector<TField*> list;
  GetFieldList(list, names);
  if (list.size() == 1 && !value.IsArray()) {
    list.front()->SetAsVariant(value);
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i]->SetAsVariant(value[static_cast<int>(i)]);
  }
}

Variant TDataSet::GetStateFieldValue(TDataSetState state, const TField* field) {
  if (field->FieldKind() != fkData && field->FieldKind() != fkInternalCalc) return Null();
  const TDataSetState saved = state_;
  state_ = state;
  Variant result;
  try {
    result = field->AsVariant();
  } catch (...) {
    state_ = saved;
    throw;
  }
  state_ = saved;
  return result;
}

bool TDataSet::LocateInBuffers(const std::vector<TField*>& keys, const Variant& values,
                               TLocateOptions options) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!FieldMatches(keys[i], KeyValue(values, i, keys.size()), options)) return false;
  }
  return !keys.empty();
}

namespace {

// Holds back the dataset's scroll events while a search walks the records,
// so that handlers hear about the move once rather than for every record.
class QuietScroll {
 public:
  explicit QuietScroll(TDataSet& dataset)
      : dataset_(dataset),
        before_(std::exchange(dataset.BeforeScroll, nullptr)),
        after_(std::exchange(dataset.AfterScroll, nullptr)) {}
  ~QuietScroll() {
    dataset_.BeforeScroll = std::move(before_);
    dataset_.AfterScroll = std::move(after_);
  }
  QuietScroll(const QuietScroll&) = delete;
  QuietScroll& operator=(const QuietScroll&) = delete;

 private:
  TDataSet& dataset_;
  TDataSetNotifyEvent before_;
  TDataSetNotifyEvent after_;
};

std::string KeyText(const Variant& v) {
  try {
    return VarToStr(v);
  } catch (const Exception&) {
    return v.TypeName();
  }
}

}  // namespace

bool TDataSet::SearchRecords(const std::vector<TField*>& keys, const Variant& values,
                             TLocateOptions options) {
  const TBookmark start = GetBookmark();
  DisableControls();
  try {
    QuietScroll quiet(*this);
    First();
    bool found = false;
    while (!Eof() && !found) {
      found = LocateInBuffers(keys, values, options);
      if (!found) Next();
    }
    if (!found && !start.empty()) GotoBookmark(start);
    EnableControls();
    return found;
  } catch (...) {
    EnableControls();
    throw;
  }
}

bool TDataSet::Locate(const std::string& key_fields, const Variant& key_values,
                      TLocateOptions options) {
  CheckBrowseMode();
  std::vector<TField*> keys;
  GetFieldList(keys, key_fields);
  if (keys.size() > 1 &&
      (!key_values.IsArray() || key_values.ArrayCount() < static_cast<int>(keys.size()))) {
    DatabaseError(Format(dbconsts::SInvalidValue, {KeyText(key_values), key_fields}));
  }
  DoBeforeScroll();
  const bool found = SearchRecords(keys, key_values, options);
  if (found) DoAfterScroll();
  return found;
}

Variant TDataSet::Lookup(const std::string& key_fields, const Variant& key_values,
                         const std::string& result_fields) {
  CheckBrowseMode();
  const TBookmark start = GetBookmark();
  Variant result = Null();
  QuietScroll quiet(*this);
  DisableControls();
  try {
    if (Locate(key_fields, key_values, 0)) result = FieldValues(result_fields);
    if (!start.empty()) GotoBookmark(start);
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  return result;
}

}  // namespace tessel

// The published properties of the query dataset, in the order the class
// declares them, and its "Data" property.

#include "framework/property_builders.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {

namespace {

TTypeInfo MakeType(std::string name, TTypeKind kind, std::vector<std::string> names = {}) {
  TTypeInfo type;
  type.name = std::move(name);
  type.kind = kind;
  type.max_value = static_cast<std::int64_t>(names.size()) - 1;
  type.names = std::move(names);
  return type;
}

const TTypeInfo* OptionType() {
  static const TTypeInfo t = MakeType("TOption", tkSet, {"ConvertBlankToNull", "LocalEdit"});
  return &t;
}

const TTypeInfo* DataSetNotifyType() {
  static const TTypeInfo t = MakeType("TDataSetNotifyEvent", tkMethod);
  return &t;
}

const TTypeInfo* DataSetErrorType() {
  static const TTypeInfo t = MakeType("TDataSetErrorEvent", tkMethod);
  return &t;
}

const TTypeInfo* MsgNotifyType() {
  static const TTypeInfo t = MakeType("TMsgNotifyEvent", tkMethod);
  return &t;
}

bool AtDefaults(const TUpdateParams& settings) {
  // The list accessors are not const; nothing here changes them.
  auto& u = const_cast<TUpdateParams&>(settings);
  return u.KeyFields()->Count() == 0 && u.UpdateFields()->Count() == 0 && u.TableName().empty() &&
         u.UpdateMode() == upWhereChanged;
}

// Loading keeps the settings the constructor made even when the file names an
// update object, so such a query holds default settings that were never
// written; leaving them out again keeps a form's text stable.
TPropInfo UpdateParamsProperty() {
  TPropInfo p = published::Owned<TTessel>(
      "UpdateParams", ClassInfoOf<TUpdateParams>()->AsPropertyType(), &TTessel::UpdateParams);
  p.stored = [](const TPersistent& o) {
    const auto& query = static_cast<const TTessel&>(o);
    const TUpdateParams* settings = query.UpdateParams();
    return settings != nullptr && (query.UpdateObject() == nullptr || !AtDefaults(*settings));
  };
  return p;
}

std::vector<TPropInfo> QueryProperties() {
  using Q = TTessel;
  std::vector<TPropInfo> list = {
      published::Ordinal<Q>("CacheAllRecords", TypeInfoBoolean(), &Q::CacheAllRecords,
                            &Q::SetCacheAllRecords, std::nullopt),
      published::Ordinal<Q>("CacheMaxRecords", TypeInfoCardinal(), &Q::CacheMaxRecords,
                            &Q::SetCacheMaxRecords, std::nullopt),
      published::Ordinal<Q>("Active", TypeInfoBoolean(), &Q::Active, &Q::SetActive, 0),
      published::Ordinal<Q>("ParamCheck", TypeInfoBoolean(), &Q::ParamCheck, &Q::SetParamCheck, 1),
      published::Owned<Q>("Params", ClassInfoOf<TParams>()->AsPropertyType(), &Q::Params),
      UpdateParamsProperty(),
      published::Reference<Q, TSQLUpdate>("UpdateObject",
                                          ClassInfoOf<TSQLUpdate>()->AsPropertyType(),
                                          &Q::UpdateObject, &Q::SetUpdateObject),
      published::Reference<Q, TDataSource>("DataSource",
                                           ClassInfoOf<TDataSource>()->AsPropertyType(),
                                           &Q::DataSource, &Q::SetDataSource),
      published::Ordinal<Q>("MaxTimeSlice", TypeInfoInteger(), &Q::MaxTimeSlice,
                            &Q::SetMaxTimeSlice, 50),
      published::Ordinal<Q>("Options", OptionType(), &Q::Options, &Q::SetOptions, std::nullopt),
      published::String<Q>("BlobTableName", &Q::BlobTableName, &Q::SetBlobTableName),
  };
  const std::pair<const char*, TDataSetNotifyEvent TDataSet::*> notify_events[] = {
      {"BeforeOpen", &TDataSet::BeforeOpen},     {"AfterOpen", &TDataSet::AfterOpen},
      {"BeforeClose", &TDataSet::BeforeClose},   {"AfterClose", &TDataSet::AfterClose},
      {"BeforeInsert", &TDataSet::BeforeInsert}, {"AfterInsert", &TDataSet::AfterInsert},
      {"BeforeEdit", &TDataSet::BeforeEdit},     {"AfterEdit", &TDataSet::AfterEdit},
      {"BeforePost", &TDataSet::BeforePost},     {"AfterPost", &TDataSet::AfterPost},
      {"BeforeCancel", &TDataSet::BeforeCancel}, {"AfterCancel", &TDataSet::AfterCancel},
      {"BeforeDelete", &TDataSet::BeforeDelete}, {"AfterDelete", &TDataSet::AfterDelete},
      {"BeforeScroll", &TDataSet::BeforeScroll}, {"AfterScroll", &TDataSet::AfterScroll},
      {"OnCalcFields", &TDataSet::OnCalcFields},
  };
  for (const auto& [name, member] : notify_events) {
    list.push_back(published::Event(name, DataSetNotifyType(), member));
  }
  list.push_back(published::Event("OnDeleteError", DataSetErrorType(), &TDataSet::OnDeleteError));
  list.push_back(published::Event("OnEditError", DataSetErrorType(), &TDataSet::OnEditError));
  list.push_back(published::Event("OnNewRecord", DataSetNotifyType(), &TDataSet::OnNewRecord));
  list.push_back(published::Event("OnPostError", DataSetErrorType(), &TDataSet::OnPostError));
  list.push_back(published::Reference<Q, TSQLServer>("DataBaseName",
                                                     ClassInfoOf<TSQLServer>()->AsPropertyType(),
                                                     &Q::DataBaseName, &Q::SetSQLServer));
  list.push_back(published::Owned<Q>("SQL", TypeInfoStrings(), &Q::SQL));
  list.push_back(published::Event("OnThreadReady", TypeInfoNotifyEvent(), &Q::OnThreadReady));
  list.push_back(published::Event("OnThreadMsg", MsgNotifyType(), &Q::OnThreadMsg));
  list.push_back(published::Event("OnUpdateError", DataSetErrorType(), &Q::OnUpdateError));
  list.push_back(published::Event("OnDuplicateKey", DataSetErrorType(), &Q::OnDuplicateKey));
  return list;
}

}  // namespace

template <>
const TClassInfo* ClassInfoOf<TTessel>() {
  static const TClassInfo info(
      std::type_identity<TTessel>(), "TTessel", ClassInfoOf<TDataSet>(), QueryProperties(),
      [](TComponent* owner) { return new TTessel(owner); },
      {TDefinedProperty{
          "Data",
          [](const TPersistent& o) { return static_cast<const TTessel&>(o).HasBinaryData(); },
          [](TPersistent& o, TStream& s) { static_cast<TTessel&>(o).ReadBinaryData(s); },
          [](const TPersistent& o, TStream& s) {
            static_cast<const TTessel&>(o).WriteBinaryData(s);
          },
      }});
  return &info;
}

}  // namespace tessel

// Descriptions of the framework's own classes: the component basics (Name,
// Tag), the data module that roots a form, the data source, string lists and
// the parameter collection.

#include "framework/data_module.h"
#include "framework/datasource.h"
#include "framework/params.h"
#include "framework/property_builders.h"

namespace tessel {

namespace {

TTypeInfo EnumType(std::string name, std::vector<std::string> names) {
  TTypeInfo t;
  t.name = std::move(name);
  t.kind = tkEnumeration;
  t.min_value = 0;
  t.max_value = static_cast<std::int64_t>(names.size()) - 1;
  t.names = std::move(names);
  return t;
}

TTypeInfo EventType(std::string name) {
  TTypeInfo t;
  t.name = std::move(name);
  t.kind = tkMethod;
  return t;
}

const TTypeInfo* FieldTypeType() {
  static const TTypeInfo t =
      EnumType("TFieldType",
               {"ftUnknown", "ftString",    "ftSmallint",   "ftInteger", "ftWord", "ftBoolean",
                "ftFloat",   "ftCurrency",  "ftBCD",        "ftDate",    "ftTime", "ftDateTime",
                "ftBytes",   "ftVarBytes",  "ftAutoInc",    "ftBlob",    "ftMemo", "ftGraphic",
                "ftFmtMemo", "ftFixedChar", "ftWideString", "ftLargeint"});
  return &t;
}

const TTypeInfo* ParamTypeType() {
  static const TTypeInfo t =
      EnumType("TParamType", {"ptUnknown", "ptInput", "ptOutput", "ptInputOutput", "ptResult"});
  return &t;
}

}  // namespace

template <>
const TClassInfo* ClassInfoOf<TPersistent>() {
  static const TClassInfo info(std::type_identity<TPersistent>(), "TPersistent", nullptr, {});
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TComponent>() {
  static const TClassInfo info(
      std::type_identity<TComponent>(), "TComponent", ClassInfoOf<TPersistent>(),
      [] {
        // The name is written in the object's header line, never as a property.
        TPropInfo name =
            published::String<TComponent>("Name", &TComponent::Name, &TComponent::SetName);
        name.stored = [](const TPersistent&) { return false; };
        return std::vector<TPropInfo>{
            std::move(name),
            published::Ordinal<TComponent>(
                "Tag", TypeInfoInt64(), &TComponent::Tag,
                [](TComponent& c, std::int64_t v) { c.SetTag(static_cast<std::intptr_t>(v)); }, 0),
        };
      }(),
      [](TComponent* owner) { return new TComponent(owner); });
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TDataModule>() {
  static const TClassInfo info(std::type_identity<TDataModule>(), "TDataModule",
                               ClassInfoOf<TComponent>(), {},
                               [](TComponent* owner) { return new TDataModule(owner); });
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TDataSet>() {
  static const TClassInfo info(std::type_identity<TDataSet>(), "TDataSet",
                               ClassInfoOf<TComponent>(), {});
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TDataSource>() {
  static const TTypeInfo data_change = EventType("TDataChangeEvent");
  static const TClassInfo info(
      std::type_identity<TDataSource>(), "TDataSource", ClassInfoOf<TComponent>(),
      {
          published::Ordinal<TDataSource>("AutoEdit", TypeInfoBoolean(), &TDataSource::AutoEdit,
                                          &TDataSource::SetAutoEdit, 1),
          published::Reference<TDataSource, TDataSet>(
              "DataSet", ClassInfoOf<TDataSet>()->AsPropertyType(), &TDataSource::DataSet,
              &TDataSource::SetDataSet),
          published::Ordinal<TDataSource>("Enabled", TypeInfoBoolean(), &TDataSource::Enabled,
                                          &TDataSource::SetEnabled, 1),
          published::Event("OnDataChange", &data_change, &TDataSource::OnDataChange),
          published::Event("OnStateChange", TypeInfoNotifyEvent(), &TDataSource::OnStateChange),
          published::Event("OnUpdateData", TypeInfoNotifyEvent(), &TDataSource::OnUpdateData),
      },
      [](TComponent* owner) { return new TDataSource(owner); });
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TStrings>() {
  static const TClassInfo info(std::type_identity<TStrings>(), "TStrings",
                               ClassInfoOf<TPersistent>(), {});
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TCollection>() {
  static const TClassInfo info(std::type_identity<TCollection>(), "TCollection",
                               ClassInfoOf<TPersistent>(), {});
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TParam>() {
  static const TClassInfo info(
      std::type_identity<TParam>(), "TParam", ClassInfoOf<TPersistent>(), [] {
        // The data type comes first: the value is read as that type.
        TPropInfo value;
        value.name = "Value";
        value.type = TypeInfoVariant();
        value.get_variant = [](const TPersistent& o) {
          return static_cast<const TParam&>(o).Value();
        };
        value.set_variant = [](TPersistent& o, const Variant& v) {
          static_cast<TParam&>(o).SetValue(v);
        };
        value.stored = [](const TPersistent& o) { return !static_cast<const TParam&>(o).IsNull(); };
        // Money and exact decimals are written and read as the literal's
        // digits, never through a double.
        value.get_number_literal = [](const TPersistent& o) -> std::string {
          const auto& param = static_cast<const TParam&>(o);
          if (param.IsNull()) return {};
          if (param.DataType() == ftCurrency) return param.Value().AsCurrency().ToString();
          if (param.DataType() != ftBCD) return {};
          std::string text = param.AsBCD().ToString();
          // A whole number beyond 64 bits would not read back as an integer literal.
          if (text.find('.') == std::string::npos && text.size() > 18) text += "e0";
          return text;
        };
        value.set_number_literal = [](TPersistent& o, const std::string& text) {
          auto& param = static_cast<TParam&>(o);
          if (param.DataType() != ftCurrency && param.DataType() != ftBCD) return false;
          param.SetText(text);
          return true;
        };
        return std::vector<TPropInfo>{
            published::Ordinal<TParam>("DataType", FieldTypeType(), &TParam::DataType,
                                       &TParam::SetDataType, ftUnknown),
            published::String<TParam>("Name", &TParam::Name, &TParam::SetName),
            published::Ordinal<TParam>("ParamType", ParamTypeType(), &TParam::ParamType,
                                       &TParam::SetParamType, ptUnknown),
            std::move(value),
        };
      }());
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TParams>() {
  static TClassInfo info(std::type_identity<TParams>(), "TParams", ClassInfoOf<TCollection>(), {});
  static const bool item_set = (info.SetItemClass(ClassInfoOf<TParam>()), true);
  (void)item_set;
  return &info;
}

}  // namespace tessel

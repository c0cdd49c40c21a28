// Descriptions of the field classes, so that a dataset's persistent fields
// live in form files nested in the dataset's object. The kind, the name, the
// lookup settings and the display settings are the field's own; Size and
// Precision only where the class stores values of that size.

#include "framework/dataset.h"
#include "framework/field_kinds.h"
#include "framework/property_builders.h"

namespace tessel {

namespace {

const TTypeInfo* FieldKindType() {
  static const TTypeInfo t = [] {
    TTypeInfo k;
    k.name = "TFieldKind";
    k.kind = tkEnumeration;
    k.names = {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc"};
    k.max_value = static_cast<std::int64_t>(k.names.size()) - 1;
    return k;
  }();
  return &t;
}

const TTypeInfo* FieldNotifyEventType() {
  static const TTypeInfo t = [] {
    TTypeInfo e;
    e.name = "TFieldNotifyEvent";
    e.kind = tkMethod;
    return e;
  }();
  return &t;
}

// A Boolean that reads the field kind: accepted in files, never written, as
// FieldKind already says it.
TPropInfo KindFlag(std::string name, TFieldKind kind) {
  TPropInfo p = published::Ordinal<TField>(
      std::move(name), TypeInfoBoolean(), [kind](const TField& f) { return f.FieldKind() == kind; },
      [kind](TField& f, bool on) {
        if (on) {
          f.SetFieldKind(kind);
        } else if (f.FieldKind() == kind) {
          f.SetFieldKind(fkData);
        }
      },
      0);
  p.stored = [](const TPersistent&) { return false; };
  return p;
}

TPropInfo SizeProperty(int default_size) {
  return published::Ordinal<TField>("Size", TypeInfoInteger(), &TField::Size, &TField::SetSize,
                                    default_size);
}

template <class F>
TClassInfo::Factory Factory() {
  return [](TComponent* owner) { return new F(owner); };
}

}  // namespace

template <>
const TClassInfo* ClassInfoOf<TField>() {
  static const TClassInfo info(
      std::type_identity<TField>(), "TField", ClassInfoOf<TComponent>(), [] {
        // The label is the field name while none is set: only one set apart
        // from it is written.
        TPropInfo label = published::String<TField>("DisplayLabel", &TField::DisplayLabel,
                                                    &TField::SetDisplayLabel);
        label.stored = [](const TPersistent& o) {
          const auto& f = static_cast<const TField&>(o);
          return f.DisplayLabel() != f.FieldName();
        };
        TPropInfo width =
            published::Ordinal<TField>("DisplayWidth", TypeInfoInteger(), &TField::DisplayWidth,
                                       &TField::SetDisplayWidth, std::nullopt);
        width.stored = [](const TPersistent& o) {
          return static_cast<const TField&>(o).HasDisplayWidth();
        };
        return std::vector<TPropInfo>{
            std::move(label),
            std::move(width),
            published::Ordinal<TField>("FieldKind", FieldKindType(), &TField::FieldKind,
                                       &TField::SetFieldKind, fkData),
            published::String<TField>("FieldName", &TField::FieldName, &TField::SetFieldName),
            published::Reference<TField, TDataSet>(
                "LookupDataSet", ClassInfoOf<TDataSet>()->AsPropertyType(), &TField::LookupDataSet,
                &TField::SetLookupDataSet),
            published::String<TField>("LookupKeyFields", &TField::LookupKeyFields,
                                      &TField::SetLookupKeyFields),
            published::String<TField>("LookupResultField", &TField::LookupResultField,
                                      &TField::SetLookupResultField),
            published::String<TField>("KeyFields", &TField::KeyFields, &TField::SetKeyFields),
            published::String<TField>("DefaultExpression", &TField::DefaultExpression,
                                      &TField::SetDefaultExpression),
            published::Ordinal<TField>("ReadOnly", TypeInfoBoolean(), &TField::ReadOnly,
                                       &TField::SetReadOnly, 0),
            published::Ordinal<TField>("Required", TypeInfoBoolean(), &TField::Required,
                                       &TField::SetRequired, 0),
            published::Ordinal<TField>("Visible", TypeInfoBoolean(), &TField::Visible,
                                       &TField::SetVisible, 1),
            KindFlag("Lookup", fkLookup),
            KindFlag("Calculated", fkCalculated),
            published::Event("OnChange", FieldNotifyEventType(), &TField::OnChange),
            published::Event("OnValidate", FieldNotifyEventType(), &TField::OnValidate),
        };
      }());
  return &info;
}

#define TESSEL_FIELD_CLASS(T, Parent, ...)                                           \
  template <>                                                                        \
  const TClassInfo* ClassInfoOf<T>() {                                               \
    static const TClassInfo info(std::type_identity<T>(), #T, ClassInfoOf<Parent>(), \
                                 std::vector<TPropInfo>{__VA_ARGS__}, Factory<T>()); \
    return &info;                                                                    \
  }

TESSEL_FIELD_CLASS(TStringField, TField, SizeProperty(20))
TESSEL_FIELD_CLASS(TSmallintField, TField)
TESSEL_FIELD_CLASS(TIntegerField, TField)
TESSEL_FIELD_CLASS(TWordField, TField)
TESSEL_FIELD_CLASS(TAutoIncField, TIntegerField)
TESSEL_FIELD_CLASS(TLargeintField, TField)
TESSEL_FIELD_CLASS(TBooleanField, TField)
TESSEL_FIELD_CLASS(TFloatField, TField)
TESSEL_FIELD_CLASS(TCurrencyField, TField)
TESSEL_FIELD_CLASS(TBCDField, TField,
                   published::Ordinal<TBCDField>("Precision", TypeInfoInteger(),
                                                 &TBCDField::Precision, &TBCDField::SetPrecision,
                                                 Decimal::kMaxPrecision),
                   SizeProperty(4))
TESSEL_FIELD_CLASS(TDateField, TField)
TESSEL_FIELD_CLASS(TTimeField, TField)
TESSEL_FIELD_CLASS(TDateTimeField, TField)
TESSEL_FIELD_CLASS(TBytesField, TField, SizeProperty(16))
TESSEL_FIELD_CLASS(TVarBytesField, TBytesField)
TESSEL_FIELD_CLASS(TBlobField, TField, SizeProperty(0))
TESSEL_FIELD_CLASS(TMemoField, TBlobField)

#undef TESSEL_FIELD_CLASS

}  // namespace tessel

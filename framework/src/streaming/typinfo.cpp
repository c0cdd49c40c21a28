#include "framework/typinfo.h"

#include <algorithm>
#include <limits>

#include "framework/exceptions.h"

namespace tessel {

int TTypeInfo::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (CompareText(names[i], name) == 0) return static_cast<int>(i);
  }
  return -1;
}

namespace {

TTypeInfo MakeType(std::string name, TTypeKind kind, std::int64_t min_value = 0,
                   std::int64_t max_value = 0) {
  TTypeInfo t;
  t.name = std::move(name);
  t.kind = kind;
  t.min_value = min_value;
  t.max_value = max_value;
  return t;
}

}  // namespace

const TTypeInfo* TypeInfoInteger() {
  static const TTypeInfo t =
      MakeType("Integer", tkInteger, std::numeric_limits<std::int32_t>::min(),
               std::numeric_limits<std::int32_t>::max());
  return &t;
}

const TTypeInfo* TypeInfoCardinal() {
  static const TTypeInfo t =
      MakeType("Cardinal", tkInteger, 0, std::numeric_limits<std::uint32_t>::max());
  return &t;
}

const TTypeInfo* TypeInfoInt64() {
  static const TTypeInfo t = MakeType("Int64", tkInteger, std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max());
  return &t;
}

const TTypeInfo* TypeInfoBoolean() {
  static const TTypeInfo t = [] {
    TTypeInfo b = MakeType("Boolean", tkBoolean, 0, 1);
    b.names = {"False", "True"};
    return b;
  }();
  return &t;
}

const TTypeInfo* TypeInfoString() {
  static const TTypeInfo t = MakeType("string", tkString);
  return &t;
}

const TTypeInfo* TypeInfoDouble() {
  static const TTypeInfo t = MakeType("Double", tkFloat);
  return &t;
}

const TTypeInfo* TypeInfoStrings() {
  return ClassInfoOf<TStrings>()->AsPropertyType();
}

const TTypeInfo* TypeInfoVariant() {
  static const TTypeInfo t = MakeType("Variant", tkVariant);
  return &t;
}

const TTypeInfo* TypeInfoNotifyEvent() {
  static const TTypeInfo t = MakeType("TNotifyEvent", tkMethod);
  return &t;
}

TClassInfo::TClassInfo(std::string name, const std::type_info& type, const TClassInfo* parent,
                       std::vector<TPropInfo> properties, Factory create,
                       std::vector<TDefinedProperty> defined, TTypeKind kind,
                       std::function<bool(const TPersistent&)> is_instance)
    : name_(std::move(name)),
      type_(&type),
      parent_(parent),
      properties_(std::move(properties)),
      create_(std::move(create)),
      defined_(std::move(defined)),
      is_instance_(std::move(is_instance)) {
  as_type_.name = name_;
  as_type_.kind = kind;
  as_type_.class_info = this;
}

TComponent* TClassInfo::Create(TComponent* owner) const {
  if (!create_)
    throw EInvalidOperation("Cannot create an object of class " + name_ + " on its own");
  return create_(owner);
}

bool TClassInfo::InheritsFrom(const TClassInfo* other) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    if (c == other) return true;
  }
  return false;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TPropInfo*> list =
      parent_ ? parent_->Properties() : std::vector<const TPropInfo*>{};
  for (const TPropInfo& p : properties_) list.push_back(&p);
  return list;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    for (const TPropInfo& p : c->properties_) {
      if (SameText(p.name, name)) return &p;
    }
  }
  return nullptr;
}

std::vector<const TDefinedProperty*> TClassInfo::DefinedProperties() const {
  std::vector<const TDefinedProperty*> list =
      parent_ ? parent_->DefinedProperties() : std::vector<const TDefinedProperty*>{};
  for (const TDefinedProperty& p : defined_) list.push_back(&p);
  return list;
}

const TDefinedProperty* TClassInfo::FindDefinedProperty(std::string_view name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    for (const TDefinedProperty& p : c->defined_) {
      if (SameText(p.name, name)) return &p;
    }
  }
  return nullptr;
}

}  // namespace tessel

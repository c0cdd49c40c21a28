#pragma once

// Published-property descriptions: what the form reader and writer and the
// designer know about a class. A TClassInfo names a class, its ancestor, how
// to create it (components only), its own published properties in published
// order and its binary defined properties ("Data"). A TPropInfo names one
// property, its type (TTypeInfo), its default and how to read and write it.
//
// Descriptions are immutable objects with static lifetime, made once by the
// class that describes itself (ClassInfoOf<T>()); the class registry maps
// names to them for the form reader. Registration and lookup: main thread.

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "framework/classes.h"
#include "framework/variant.h"

namespace tessel {

class TClassInfo;

// What a property holds, and so how a form file writes it.
enum TTypeKind : std::uint8_t {
  tkInteger,      // decimal number within the type's range
  tkBoolean,      // True / False
  tkEnumeration,  // an enumerator's name (nlTCPIP)
  tkSet,          // [a, b]
  tkString,       // 'quoted' with #nn for control characters
  tkStrings,      // a string list: Prop.Strings = ( 'line' 'line' )
  tkFloat,        // shortest text that reads back to the same double
  tkComponent,    // another component of the form, by name
  tkClass,        // a nested persistent object, written as Prop.Sub = value
  tkCollection,   // < item ... end >
  tkMethod,       // an event: the name of its handler
  tkBinary,       // { hex }
  tkVariant,      // a value whose kind comes from the object (a parameter's value)
};

// A property type. Ordinal kinds keep their range (integers) or names
// (enumerations, and the element enumeration of a set); kinds that hold
// objects name the class.
struct TTypeInfo {
  std::string name;
  TTypeKind kind = tkInteger;
  std::int64_t min_value = 0;
  std::int64_t max_value = 0;
  std::vector<std::string> names;
  // tkComponent: the referenced class; tkClass, tkCollection, tkStrings: the
  // object's class (may be null for tkStrings).
  const TClassInfo* class_info = nullptr;
  // tkCollection: the class of its items.
  const TClassInfo* item_class = nullptr;

  // The enumerator with that name (case ignored), or -1.
  int IndexOfName(std::string_view name) const;
};

// The framework's basic property types.
const TTypeInfo* TypeInfoInteger();   // signed 32-bit
const TTypeInfo* TypeInfoCardinal();  // unsigned 32-bit
const TTypeInfo* TypeInfoInt64();     // Tag
const TTypeInfo* TypeInfoBoolean();
const TTypeInfo* TypeInfoString();
const TTypeInfo* TypeInfoDouble();
const TTypeInfo* TypeInfoStrings();
const TTypeInfo* TypeInfoVariant();
const TTypeInfo* TypeInfoNotifyEvent();

// One published property. Which accessors are set depends on the type's kind:
//   ordinal (integer, boolean, enumeration by ordinal, set by bits): get/set_ordinal
//   string: get/set_string;  float: get/set_float;  variant: get/set_variant
//   strings, class, collection: get_object (the owned object, null if none)
//   component: get_object and set_object (the reference)
//   method: get_handler (the bound handler's name, "" if none), bind_handler
//           and accepts_handler
struct TPropInfo {
  std::string name;
  const TTypeInfo* type = nullptr;
  std::function<std::int64_t(const TPersistent&)> get_ordinal;
  std::function<void(TPersistent&, std::int64_t)> set_ordinal;
  std::function<std::string(const TPersistent&)> get_string;
  std::function<void(TPersistent&, const std::string&)> set_string;
  std::function<double(const TPersistent&)> get_float;
  std::function<void(TPersistent&, double)> set_float;
  std::function<Variant(const TPersistent&)> get_variant;
  std::function<void(TPersistent&, const Variant&)> set_variant;
  // Variant kind, optional, for values a double cannot carry: the value as
  // the text of a number literal, written instead of the variant (empty:
  // write the variant); and, reading, a number literal's text handed over
  // before it becomes a double (false: set the variant as usual).
  std::function<std::string(const TPersistent&)> get_number_literal;
  std::function<bool(TPersistent&, const std::string&)> set_number_literal;
  std::function<TPersistent*(const TPersistent&)> get_object;
  std::function<void(TPersistent&, TPersistent*)> set_object;
  std::function<std::string(const TPersistent&)> get_handler;
  // Binds the handler registered under name (handler null: a named handler
  // that does nothing, for design time). False when the handler's type does
  // not fit the event.
  std::function<bool(TPersistent&, const std::string& name, const std::any* handler)> bind_handler;
  // Whether a registered handler is of the event's type (method kind).
  std::function<bool(const std::any& handler)> accepts_handler;
  // Ordinal kinds: the value left out of form files; none means always written.
  std::optional<std::int64_t> default_ordinal;
  // Null: stored; otherwise asked per object (false: never written).
  std::function<bool(const TPersistent&)> stored;

  bool IsStored(const TPersistent& object) const { return !stored || stored(object); }
};

// A binary property that a class defines besides its published ones, written
// after them as Name = { hex }, and only while has_data says so.
struct TDefinedProperty {
  std::string name;
  std::function<bool(const TPersistent&)> has_data;
  std::function<void(TPersistent&, TStream&)> read;
  std::function<void(const TPersistent&, TStream&)> write;
};

class TClassInfo {
 public:
  using Factory = std::function<TComponent*(TComponent* owner)>;

  // Describes T: its name, its described ancestor (null below TPersistent),
  // its own published properties, a factory (null for classes a form file
  // cannot create on their own: nested objects, collection items) and its
  // defined properties. The kind of a property of this class follows from T:
  // a component is referenced by name, a collection and a string list are
  // written in place, anything else is a nested object.
  template <class T>
  TClassInfo(std::type_identity<T>, std::string name, const TClassInfo* parent,
             std::vector<TPropInfo> properties, Factory create = nullptr,
             std::vector<TDefinedProperty> defined = {})
      : TClassInfo(std::move(name), typeid(T), parent, std::move(properties), std::move(create),
                   std::move(defined), KindOf<T>(), []([[maybe_unused]] const TPersistent& o) {
                     // Every object is a TPersistent: no cast to ask (and none
                     // for the compiler to call a null check on a reference).
                     if constexpr (std::is_base_of_v<T, TPersistent>) {
                       return true;
                     } else {
                       return dynamic_cast<const T*>(&o) != nullptr;
                     }
                   }) {}
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const std::string& Name() const { return name_; }
  const std::type_info& Type() const { return *type_; }
  const TClassInfo* Parent() const { return parent_; }
  bool CanCreate() const { return static_cast<bool>(create_); }
  // Creates an instance owned by owner; raises EInvalidOperation when the
  // class cannot be created on its own.
  TComponent* Create(TComponent* owner) const;
  // This class or one of its ancestors is other.
  bool InheritsFrom(const TClassInfo* other) const;
  // object is of this class or a descendant.
  bool IsInstance(const TPersistent& object) const { return is_instance_(object); }

  // The class's own published properties, in published order.
  const std::vector<TPropInfo>& OwnProperties() const { return properties_; }
  // Every published property, the ancestors' first, each in published order.
  std::vector<const TPropInfo*> Properties() const;
  // The property of that name (case ignored), own or inherited, or null.
  const TPropInfo* FindProperty(std::string_view name) const;
  // Every defined property, the ancestors' first.
  std::vector<const TDefinedProperty*> DefinedProperties() const;
  const TDefinedProperty* FindDefinedProperty(std::string_view name) const;

  // The type of a property that holds an object of this class.
  const TTypeInfo* AsPropertyType() const { return &as_type_; }
  // For a collection class: the class of its items (set once, while the
  // description is being made).
  void SetItemClass(const TClassInfo* item) { as_type_.item_class = item; }

 private:
  TClassInfo(std::string name, const std::type_info& type, const TClassInfo* parent,
             std::vector<TPropInfo> properties, Factory create,
             std::vector<TDefinedProperty> defined, TTypeKind kind,
             std::function<bool(const TPersistent&)> is_instance);
  template <class T>
  static constexpr TTypeKind KindOf() {
    if constexpr (std::is_base_of_v<TComponent, T>) {
      return tkComponent;
    } else if constexpr (std::is_base_of_v<TCollection, T>) {
      return tkCollection;
    } else if constexpr (std::is_base_of_v<TStrings, T>) {
      return tkStrings;
    } else {
      return tkClass;
    }
  }

  std::string name_;
  const std::type_info* type_;
  const TClassInfo* parent_;
  std::vector<TPropInfo> properties_;
  Factory create_;
  std::vector<TDefinedProperty> defined_;
  std::function<bool(const TPersistent&)> is_instance_;
  TTypeInfo as_type_;
};

// The description of T. Declared here for the framework's classes and in the
// package's headers for its components; defined next to each description.
template <class T>
const TClassInfo* ClassInfoOf();

class TDataModule;
class TDataSet;
class TDataSource;
class TParams;
class TParam;
template <>
const TClassInfo* ClassInfoOf<TPersistent>();
template <>
const TClassInfo* ClassInfoOf<TComponent>();
template <>
const TClassInfo* ClassInfoOf<TDataModule>();
template <>
const TClassInfo* ClassInfoOf<TDataSet>();
template <>
const TClassInfo* ClassInfoOf<TDataSource>();
template <>
const TClassInfo* ClassInfoOf<TStrings>();
template <>
const TClassInfo* ClassInfoOf<TCollection>();
template <>
const TClassInfo* ClassInfoOf<TParams>();
template <>
const TClassInfo* ClassInfoOf<TParam>();

// The class registry: the classes a form file may name. The framework's own
// (TDataModule, TDataSource) are always known; a package registers its
// components before reading forms. Registering a second class of the same
// name replaces nothing and raises EInvalidOperation; registering the same
// description again does nothing.
void RegisterClass(const TClassInfo* info);
void RegisterClasses(std::initializer_list<const TClassInfo*> infos);
void UnRegisterClass(const TClassInfo* info);
// The registered class of that name (case ignored), or null.
const TClassInfo* GetClass(std::string_view name);
// The most derived description of object's class among the registered and
// framework classes, or null.
const TClassInfo* ClassInfoOfObject(const TPersistent& object);

}  // namespace tessel

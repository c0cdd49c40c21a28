// The published properties of the generated-update settings and of the
// update object.

#include "framework/property_builders.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"
#include "runtime/query_update.h"

namespace tessel {

namespace {

const TTypeInfo* UpdateModeType() {
  static const TTypeInfo t = [] {
    TTypeInfo type;
    type.name = "TUpdateMode";
    type.kind = tkEnumeration;
    type.names = {"upWhereAll", "upWhereChanged", "upWhereKeyOnly"};
    type.max_value = 2;
    return type;
  }();
  return &t;
}

}  // namespace

template <>
const TClassInfo* ClassInfoOf<TUpdateParams>() {
  using U = TUpdateParams;
  static const TClassInfo info(
      std::type_identity<U>(), "TUpdateParams", ClassInfoOf<TPersistent>(),
      {
          published::Owned<U>("KeyFields", TypeInfoStrings(),
                              [](const U& u) { return const_cast<U&>(u).KeyFields(); }),
          published::Owned<U>("UpdateFields", TypeInfoStrings(),
                              [](const U& u) { return const_cast<U&>(u).UpdateFields(); }),
          published::String<U>("TableName", &U::TableName, &U::SetTableName),
          // No stored default: the mode is always written.
          published::Ordinal<U>("UpdateMode", UpdateModeType(), &U::UpdateMode, &U::SetUpdateMode,
                                std::nullopt),
      });
  return &info;
}

template <>
const TClassInfo* ClassInfoOf<TSQLUpdate>() {
  static const TClassInfo info(
      std::type_identity<TSQLUpdate>(), "TSQLUpdate", ClassInfoOf<TComponent>(),
      {
          published::Owned<TSQLUpdate>("ModifySQL", TypeInfoStrings(), &TSQLUpdate::ModifySQL),
          published::Owned<TSQLUpdate>("InsertSQL", TypeInfoStrings(), &TSQLUpdate::InsertSQL),
          published::Owned<TSQLUpdate>("DeleteSQL", TypeInfoStrings(), &TSQLUpdate::DeleteSQL),
      },
      [](TComponent* owner) { return new TSQLUpdate(owner); });
  return &info;
}

}  // namespace tessel

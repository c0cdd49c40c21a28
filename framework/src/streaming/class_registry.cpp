#include <algorithm>
#include <typeinfo>
#include <vector>

#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/typinfo.h"

namespace tessel {

namespace {

// The framework's classes first, then what packages registered, in order.
std::vector<const TClassInfo*>& Registered() {
  static std::vector<const TClassInfo*> classes = {
      ClassInfoOf<TPersistent>(),
      ClassInfoOf<TComponent>(),
      ClassInfoOf<TDataModule>(),
      ClassInfoOf<TDataSource>(),
      ClassInfoOf<TStrings>(),
      ClassInfoOf<TCollection>(),
      ClassInfoOf<TParams>(),
      ClassInfoOf<TParam>(),
      // Persistent fields, nested in their dataset's object.
      ClassInfoOf<TField>(),
      ClassInfoOf<TStringField>(),
      ClassInfoOf<TSmallintField>(),
      ClassInfoOf<TIntegerField>(),
      ClassInfoOf<TWordField>(),
      ClassInfoOf<TAutoIncField>(),
      ClassInfoOf<TLargeintField>(),
      ClassInfoOf<TBooleanField>(),
      ClassInfoOf<TFloatField>(),
      ClassInfoOf<TCurrencyField>(),
      ClassInfoOf<TBCDField>(),
      ClassInfoOf<TDateField>(),
      ClassInfoOf<TTimeField>(),
      ClassInfoOf<TDateTimeField>(),
      ClassInfoOf<TBytesField>(),
      ClassInfoOf<TVarBytesField>(),
      ClassInfoOf<TBlobField>(),
      ClassInfoOf<TMemoField>(),
  };
  return classes;
}

int Depth(const TClassInfo* info) {
  int depth = 0;
  for (; info != nullptr; info = info->Parent()) ++depth;
  return depth;
}

}  // namespace

void RegisterClass(const TClassInfo* info) {
  auto& classes = Registered();
  if (std::find(classes.begin(), classes.end(), info) != classes.end()) return;
  if (GetClass(info->Name()) != nullptr) {
    throw EInvalidOperation("A class named " + info->Name() + " is already registered");
  }
  classes.push_back(info);
}

void RegisterClasses(std::initializer_list<const TClassInfo*> infos) {
  for (const TClassInfo* info : infos) RegisterClass(info);
}

void UnRegisterClass(const TClassInfo* info) {
  auto& classes = Registered();
  classes.erase(std::remove(classes.begin(), classes.end(), info), classes.end());
}

const TClassInfo* GetClass(std::string_view name) {
  for (const TClassInfo* info : Registered()) {
    if (CompareText(info->Name(), name) == 0) return info;
  }
  return nullptr;
}

const TClassInfo* ClassInfoOfObject(const TPersistent& object) {
  // The exact class is the usual answer; look for it before paying for a
  // dynamic_cast per registered class.
  const std::type_info& type = typeid(object);
  for (const TClassInfo* info : Registered()) {
    if (info->Type() == type) return info;
  }
  const TClassInfo* best = nullptr;
  int best_depth = -1;
  for (const TClassInfo* info : Registered()) {
    if (info->IsInstance(object) && Depth(info) > best_depth) {
      best = info;
      best_depth = Depth(info);
    }
  }
  return best;
}

}  // namespace tessel

#include "references.h"

#include "framework/component.h"
#include "framework/typinfo.h"

namespace tessel::designer {

namespace {

void Collect(const TComponent& holder, const TComponent& target, std::vector<std::string>& found) {
  if (&holder == &target) return;
  const TClassInfo* info = ClassInfoOfObject(holder);
  if (info == nullptr) return;
  for (const TPropInfo* property : info->Properties()) {
    if (property->type->kind != tkComponent || !property->get_object) continue;
    if (property->get_object(holder) == &target)
      found.push_back(holder.Name() + "." + property->name);
  }
}

}  // namespace

std::vector<std::string> ReferencesTo(const TComponent& root, const TComponent& target) {
  std::vector<std::string> found;
  Collect(root, target, found);
  for (int i = 0; i < root.ComponentCount(); ++i) Collect(*root.Components(i), target, found);
  return found;
}

}  // namespace tessel::designer

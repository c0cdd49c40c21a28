#include <set>

#include "framework/component.h"
#include "framework/designer.h"
#include "framework/event_handlers.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "streaming/property_text.h"

namespace tessel {

namespace {

// The form an edited object belongs to: the owner of a component on a form,
// or the component itself when it is the root.
const TComponent* FormOf(const TPersistent& object) {
  const auto* component = dynamic_cast<const TComponent*>(&object);
  if (component == nullptr) return nullptr;
  return component->Owner() != nullptr ? component->Owner() : component;
}

// The handler names that events of `type` already use on the root and the
// components it owns.
void AddHandlersInUse(const TComponent& root, const TTypeInfo* type, std::set<std::string>& names) {
  for (int i = -1; i < root.ComponentCount(); ++i) {
    const TComponent& component = i < 0 ? root : *root.Components(i);
    const TClassInfo* info = ClassInfoOfObject(component);
    if (info == nullptr) continue;
    for (const TPropInfo* p : info->Properties()) {
      if (p->type != type || !p->get_handler) continue;
      std::string name = p->get_handler(component);
      if (!name.empty()) names.insert(std::move(name));
    }
  }
}

}  // namespace

TPropertyEditor::TPropertyEditor(TFormDesigner* designer, const TPropInfo* property,
                                 std::vector<TPersistent*> selection)
    : designer_(designer), property_(property), selection_(std::move(selection)) {
  if (selection_.empty()) throw EInvalidOperation("A property editor needs a selected component");
}

TPropertyAttributes TPropertyEditor::GetAttributes() const {
  TPropertyAttributes attributes{paMultiSelect, paRevertable};
  switch (property_->type->kind) {
    case tkBoolean:
    case tkEnumeration:
    case tkComponent:
    case tkMethod:
      attributes.Include(paValueList).Include(paSortList);
      break;
    case tkSet:
    case tkClass:
      attributes.Include(paSubProperties).Include(paReadOnly);
      break;
    case tkStrings:
    case tkCollection:
    case tkBinary:
      attributes.Include(paReadOnly);
      break;
    default:
      break;
  }
  return attributes;
}

std::string TPropertyEditor::GetValue() const {
  const TPersistent& object = *selection_.front();
  const TPropInfo& p = *property_;
  switch (p.type->kind) {
    case tkInteger:
    case tkBoolean:
    case tkEnumeration:
    case tkSet:
      return detail::OrdinalText(*p.type, p.get_ordinal(object));
    case tkString:
      return p.get_string(object);
    case tkFloat:
      return detail::FloatText(p.get_float(object));
    case tkVariant:
      return VarToStr(p.get_variant(object));
    case tkMethod:
      return p.get_handler(object);
    case tkComponent: {
      const auto* ref = dynamic_cast<const TComponent*>(p.get_object(object));
      return ref ? ref->Name() : std::string();
    }
    default:
      return "(" + p.type->name + ")";
  }
}

void TPropertyEditor::SetValue(const std::string& value) {
  const TPropInfo& p = *property_;
  if (p.type->kind == tkMethod) {
    SetHandler(Trim(value));
    return;
  }
  for (TPersistent* object : selection_) {
    switch (p.type->kind) {
      case tkInteger:
      case tkBoolean:
      case tkEnumeration:
      case tkSet: {
        const auto ordinal = detail::ParseOrdinal(*p.type, value);
        if (!ordinal)
          throw EConvertError("'" + value + "' is not a valid " + p.type->name + " value");
        p.set_ordinal(*object, *ordinal);
        break;
      }
      case tkString:
        p.set_string(*object, value);
        break;
      case tkFloat: {
        const auto number = detail::ParseFloat(value);
        if (!number) throw EConvertError("'" + value + "' is not a valid floating point value");
        p.set_float(*object, *number);
        break;
      }
      default:
        throw EConvertError("Property " + p.name + " cannot be set from text");
    }
  }
  Modified();
}

std::vector<std::string> TPropertyEditor::GetValues() const {
  const TTypeInfo& type = *property_->type;
  if (type.kind == tkBoolean || type.kind == tkEnumeration) return type.names;
  if (type.kind == tkMethod) return HandlerNames();
  return {};
}

std::vector<std::string> TPropertyEditor::HandlerNames() const {
  std::set<std::string> names;
  for (const std::string& name : EventHandlerNames()) {
    const std::any* handler = FindEventHandler(name);
    if (handler != nullptr && property_->accepts_handler && property_->accepts_handler(*handler)) {
      names.insert(name);
    }
  }
  if (const TComponent* form = FormOf(*selection_.front())) {
    AddHandlersInUse(*form, property_->type, names);
  }
  return {names.begin(), names.end()};
}

void TPropertyEditor::SetHandler(const std::string& name) {
  const TPropInfo& p = *property_;
  if (!name.empty() && !IsValidIdent(name)) {
    throw EConvertError("'" + name +
                        "' is not a valid event handler name: use letters, digits and _, "
                        "not beginning with a digit");
  }
  const std::any* handler = name.empty() ? nullptr : FindEventHandler(name);
  if (handler != nullptr && !(p.accepts_handler && p.accepts_handler(*handler))) {
    throw EConvertError("The handler " + name + " is not a " + p.type->name);
  }
  for (TPersistent* object : selection_) {
    // A component being designed keeps the name only: its handlers run in
    // the application, not in the designer.
    const auto* component = dynamic_cast<const TComponent*>(object);
    const bool designing =
        component != nullptr && component->ComponentState().Contains(csDesigning);
    if (!p.bind_handler(*object, name, designing ? nullptr : handler)) {
      throw EConvertError("The handler " + name + " is not a " + p.type->name);
    }
  }
  Modified();
}

void TPropertyEditor::Modified() const {
  if (designer_ != nullptr) designer_->Modified();
}

TComponentEditor::TComponentEditor(TComponent* component, TFormDesigner* designer)
    : component_(component), designer_(designer) {}

void TComponentEditor::Edit() {
  if (GetVerbCount() > 0) ExecuteVerb(0);
}

void TComponentEditor::Modified() const {
  if (designer_ != nullptr) designer_->Modified();
}

}  // namespace tessel

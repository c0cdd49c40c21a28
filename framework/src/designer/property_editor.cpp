#include "framework/component.h"
#include "framework/designer.h"
#include "framework/exceptions.h"
#include "streaming/property_text.h"

namespace tessel {

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
  return {};
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

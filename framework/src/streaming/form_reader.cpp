// The form reader: creates the components a parsed form describes, sets their
// properties, resolves references by name once everything exists, then calls
// Loaded in creation order. On any failure the root, and with it every
// component made so far, is destroyed before the error leaves.

#include <map>

#include "framework/event_handlers.h"
#include "framework/form_files.h"
#include "framework/streams.h"
#include "framework/typinfo.h"
#include "streaming/design_position.h"
#include "streaming/form_tree.h"
#include "streaming/property_text.h"

namespace tessel {

EFormError::EFormError(std::string file_name, int line, const std::string& what)
    : EReadError(line > 0 ? file_name + ":" + std::to_string(line) + ": " + what
                          : file_name + ": " + what),
      file_name_(std::move(file_name)),
      line_(line),
      what_(what) {}

namespace {

using detail::FormItem;
using detail::FormObject;
using detail::FormProperty;
using detail::FormValue;

// A reference to set once every component exists.
struct Fixup {
  TPersistent* object;
  const TPropInfo* property;
  std::string owner_label;  // Tessel1.DataBaseName, for messages
  std::string target;
  int line;
};

class FormBuilder {
 public:
  FormBuilder(const std::string& file_name, const TFormReadOptions& options)
      : file_(file_name), options_(options) {}

  std::unique_ptr<TComponent> Build(const FormObject& node) {
    std::unique_ptr<TComponent> root;
    try {
      root.reset(Create(node, options_.owner));
      root_ = root.get();
      SetName(node, *root_);
      ReadObject(node, *root);
      ResolveReferences();
      if (options_.before_loaded) options_.before_loaded(*root_);
      for (TComponent* component : created_) component->Loaded();
    } catch (...) {
      // Destroying the root destroys what it owns; their removal notices
      // clear every reference set so far.
      root.reset();
      throw;
    }
    return root;
  }

 private:
  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw EFormError(file_, line, what);
  }

  // Runs f, turning the framework's exceptions into EFormError at line.
  template <class F>
  void AtLine(int line, F&& f) {
    try {
      f();
    } catch (const EFormError&) {
      throw;
    } catch (const Exception& e) {
      Fail(line, e.Message());
    }
  }

  TComponent* Create(const FormObject& node, TComponent* owner) {
    const TClassInfo* info = GetClass(node.class_name);
    if (info == nullptr) Fail(node.line, "Class " + node.class_name + " is not registered");
    if (!info->CanCreate()) {
      Fail(node.line, "Class " + node.class_name + " is not a component a form can create");
    }
    TComponent* component = nullptr;
    AtLine(node.line, [&] { component = info->Create(owner); });
    created_.push_back(component);
    component->Loading();
    return component;
  }

  void SetName(const FormObject& node, TComponent& component) {
    AtLine(node.line, [&] { component.SetName(node.name); });
  }

  void ReadObject(const FormObject& node, TComponent& component) {
    const TClassInfo& info = *ClassInfoOfObject(component);
    const std::string label = node.name.empty() ? node.class_name : node.name;
    for (const FormProperty& property : node.properties) {
      ApplyProperty(component, info, property, label);
    }
    // Components nested in the text belong to the root all the same; the
    // object around them becomes their parent component (a field's dataset)
    // before their properties are read.
    for (const FormObject& child : node.children) {
      TComponent* created = Create(child, root_);
      SetName(child, *created);
      AtLine(child.line, [&] { created->SetParentComponent(&component); });
      ReadObject(child, *created);
    }
  }

  void ApplyProperty(TPersistent& target, const TClassInfo& info, const FormProperty& property,
                     const std::string& label) {
    TPersistent* object = &target;
    const TClassInfo* cls = &info;
    std::string_view rest = property.path;
    std::string walked = label;
    for (;;) {
      const std::size_t dot = rest.find('.');
      const std::string name(rest.substr(0, dot));
      const bool last = dot == std::string_view::npos;
      walked += "." + name;
      const TPropInfo* p = cls->FindProperty(name);
      if (p == nullptr) {
        const TDefinedProperty* defined = last ? cls->FindDefinedProperty(name) : nullptr;
        if (defined != nullptr) {
          ReadDefined(*object, *defined, property.value, walked);
          return;
        }
        auto* component = dynamic_cast<TComponent*>(object);
        if (last && component != nullptr && detail::IsDesignCoordinate(name)) {
          ReadDesignCoordinate(*component, name, property.value, walked);
          return;
        }
        Fail(property.line, "Property " + name + " does not exist in " + cls->Name() +
                                " (reading " + walked + ")");
      }
      if (last) {
        SetValue(*object, *p, property.value, walked);
        return;
      }
      rest = rest.substr(dot + 1);
      if (p->type->kind == tkStrings) {
        if (CompareText(rest, "Strings") != 0) {
          Fail(property.line,
               walked + " is a string list; its lines are set as " + walked + ".Strings");
        }
        ReadStrings(*object, *p, property.value, walked + ".Strings");
        return;
      }
      if (p->type->kind != tkClass) Fail(property.line, walked + " has no properties of its own");
      object = p->get_object(*object);
      if (object == nullptr) Fail(property.line, walked + " holds no object to set");
      cls = p->type->class_info;
    }
  }

  [[noreturn]] void WrongKind(const FormValue& value, const std::string& walked,
                              const std::string& expected) const {
    Fail(value.line,
         walked + " expects " + expected + ", not " + detail::FormValueKindName(value.kind));
  }

  void SetValue(TPersistent& object, const TPropInfo& p, const FormValue& value,
                const std::string& walked) {
    const TTypeInfo& type = *p.type;
    switch (type.kind) {
      case tkInteger: {
        if (value.kind != FormValue::kInteger) WrongKind(value, walked, "an integer");
        if (value.integer < type.min_value || value.integer > type.max_value) {
          Fail(value.line, walked + ": " + std::to_string(value.integer) + " is out of range (" +
                               std::to_string(type.min_value) + ".." +
                               std::to_string(type.max_value) + ")");
        }
        AtLine(value.line, [&] { p.set_ordinal(object, value.integer); });
        return;
      }
      case tkBoolean:
      case tkEnumeration: {
        const char* expected = type.kind == tkBoolean ? "True or False" : "a value name";
        if (value.kind != FormValue::kIdent) WrongKind(value, walked, expected);
        const auto ordinal = detail::ParseOrdinal(type, value.text);
        if (!ordinal)
          Fail(value.line, walked + ": " + value.text + " is not a value of " + type.name);
        AtLine(value.line, [&] { p.set_ordinal(object, *ordinal); });
        return;
      }
      case tkSet: {
        if (value.kind != FormValue::kSet) WrongKind(value, walked, "a set in [ ]");
        std::uint64_t bits = 0;
        for (const std::string& name : value.names) {
          const int index = type.IndexOfName(name);
          if (index < 0)
            Fail(value.line, walked + ": " + name + " is not an element of " + type.name);
          bits |= std::uint64_t{1} << index;
        }
        AtLine(value.line, [&] { p.set_ordinal(object, static_cast<std::int64_t>(bits)); });
        return;
      }
      case tkString:
        if (value.kind != FormValue::kString) WrongKind(value, walked, "a string");
        AtLine(value.line, [&] { p.set_string(object, value.text); });
        return;
      case tkFloat: {
        double number = value.number;
        if (value.kind == FormValue::kInteger) {
          number = static_cast<double>(value.integer);
        } else if (value.kind != FormValue::kFloat) {
          WrongKind(value, walked, "a number");
        }
        AtLine(value.line, [&] { p.set_float(object, number); });
        return;
      }
      case tkComponent:
        if (value.kind != FormValue::kIdent) WrongKind(value, walked, "a component name");
        fixups_.push_back({&object, &p, walked, value.text, value.line});
        return;
      case tkMethod:
        if (value.kind != FormValue::kIdent) WrongKind(value, walked, "an event handler name");
        BindEvent(object, p, value, walked);
        return;
      case tkCollection:
        ReadCollection(object, p, value, walked);
        return;
      case tkVariant: {
        const bool number = value.kind == FormValue::kFloat || value.kind == FormValue::kInteger;
        bool taken = false;
        if (number && p.set_number_literal && !value.text.empty()) {
          AtLine(value.line, [&] { taken = p.set_number_literal(object, value.text); });
        }
        if (!taken) AtLine(value.line, [&] { p.set_variant(object, ToVariant(value, walked)); });
        return;
      }
      case tkStrings:
        Fail(value.line, walked + " is a string list; its lines are set as " + walked + ".Strings");
      case tkClass:
        Fail(value.line, walked + " is an object; its properties are set as " + walked + ".Name");
      case tkBinary:
        break;
    }
    Fail(value.line, walked + " cannot be read from a form file");
  }

  void BindEvent(TPersistent& object, const TPropInfo& p, const FormValue& value,
                 const std::string& walked) {
    const std::any* handler = options_.bind_events ? FindEventHandler(value.text) : nullptr;
    if (options_.bind_events && handler == nullptr) {
      Fail(value.line, walked + ": no event handler named " + value.text + " is registered");
    }
    if (!p.bind_handler(object, value.text, handler)) {
      Fail(value.line, walked + ": the handler " + value.text + " is not a " + p.type->name);
    }
  }

  void ReadCollection(TPersistent& object, const TPropInfo& p, const FormValue& value,
                      const std::string& walked) {
    if (value.kind != FormValue::kCollection) WrongKind(value, walked, "a collection in < >");
    auto* collection = dynamic_cast<TCollection*>(p.get_object(object));
    if (collection == nullptr) Fail(value.line, walked + " holds no collection to fill");
    const TClassInfo& item_class = *p.type->item_class;
    collection->BeginUpdate();
    try {
      collection->Clear();
      for (std::size_t i = 0; i < value.collection.size(); ++i) {
        const FormItem& item = value.collection[i];
        TCollectionItem* created = nullptr;
        AtLine(item.line, [&] { created = collection->Add(); });
        const std::string label = walked + "[" + std::to_string(i) + "]";
        for (const FormProperty& property : item.properties) {
          ApplyProperty(*created, item_class, property, label);
        }
      }
    } catch (...) {
      collection->EndUpdate();
      throw;
    }
    collection->EndUpdate();
  }

  void ReadStrings(TPersistent& object, const TPropInfo& p, const FormValue& value,
                   const std::string& walked) {
    if (value.kind != FormValue::kList) WrongKind(value, walked, "a list of strings in ( )");
    auto* strings = dynamic_cast<TStrings*>(p.get_object(object));
    if (strings == nullptr) Fail(value.line, walked + " holds no string list to fill");
    TStringList lines;
    for (const FormValue& line : value.items) {
      if (line.kind != FormValue::kString) WrongKind(line, walked, "strings only");
      lines.Add(line.text);
    }
    // One assignment, so the owner hears of one change.
    AtLine(value.line, [&] { strings->Assign(&lines); });
  }

  // A designer's place of the component: Left or Top.
  void ReadDesignCoordinate(TComponent& component, const std::string& name, const FormValue& value,
                            const std::string& walked) {
    if (value.kind != FormValue::kInteger) WrongKind(value, walked, "an integer");
    if (value.integer < detail::kDesignCoordinateMin ||
        value.integer > detail::kDesignCoordinateMax) {
      Fail(value.line, walked + ": " + std::to_string(value.integer) + " is out of range (" +
                           std::to_string(detail::kDesignCoordinateMin) + ".." +
                           std::to_string(detail::kDesignCoordinateMax) + ")");
    }
    detail::SetDesignCoordinate(component, name, static_cast<int>(value.integer));
  }

  void ReadDefined(TPersistent& object, const TDefinedProperty& defined, const FormValue& value,
                   const std::string& walked) {
    if (value.kind != FormValue::kBinary) WrongKind(value, walked, "binary data in { }");
    TMemoryStream stream;
    if (!value.bytes.empty()) {
      stream.WriteBuffer(value.bytes.data(), static_cast<std::int64_t>(value.bytes.size()));
    }
    stream.SetPosition(0);
    AtLine(value.line, [&] { defined.read(object, stream); });
  }

  Variant ToVariant(const FormValue& value, const std::string& walked) const {
    switch (value.kind) {
      case FormValue::kInteger:
        return Variant(static_cast<long long>(value.integer));
      case FormValue::kFloat:
        return Variant(value.number);
      case FormValue::kString:
        return Variant(value.text);
      case FormValue::kBinary:
        return Variant(TBytes(value.bytes));
      case FormValue::kIdent:
        if (CompareText(value.text, "True") == 0) return Variant(true);
        if (CompareText(value.text, "False") == 0) return Variant(false);
        if (CompareText(value.text, "Null") == 0) return Null();
        break;
      default:
        break;
    }
    WrongKind(value, walked, "a number, a string, True, False, Null or binary data");
  }

  // Every reference is checked before any is set, so a bad one leaves no
  // component pointing at another.
  void ResolveReferences() {
    std::map<std::string, TComponent*, std::less<>> by_name;
    if (!root_->Name().empty()) by_name[UpperCase(root_->Name())] = root_;
    for (int i = 0; i < root_->ComponentCount(); ++i) {
      TComponent* c = root_->Components(i);
      if (!c->Name().empty()) by_name[UpperCase(c->Name())] = c;
    }
    std::vector<TComponent*> targets;
    targets.reserve(fixups_.size());
    for (const Fixup& fixup : fixups_) {
      const auto it = by_name.find(UpperCase(fixup.target));
      if (it == by_name.end()) {
        Fail(fixup.line,
             fixup.owner_label + ": there is no component named " + fixup.target + " in the form");
      }
      const TClassInfo* wanted = fixup.property->type->class_info;
      if (wanted != nullptr && !wanted->IsInstance(*it->second)) {
        Fail(fixup.line, fixup.owner_label + " must name a " + wanted->Name() + ", but " +
                             fixup.target + " is a " + it->second->ClassName());
      }
      targets.push_back(it->second);
    }
    for (std::size_t i = 0; i < fixups_.size(); ++i) {
      const Fixup& fixup = fixups_[i];
      AtLine(fixup.line, [&] { fixup.property->set_object(*fixup.object, targets[i]); });
    }
  }

  const std::string& file_;
  const TFormReadOptions& options_;
  TComponent* root_ = nullptr;
  std::vector<TComponent*> created_;
  std::vector<Fixup> fixups_;
};

}  // namespace

std::unique_ptr<TComponent> ReadComponentText(std::string_view text, const std::string& file_name,
                                              const TFormReadOptions& options) {
  const FormObject tree = detail::ParseForm(text, file_name);
  return FormBuilder(file_name, options).Build(tree);
}

std::unique_ptr<TComponent> ReadComponentFile(const std::string& file_name,
                                              const TFormReadOptions& options) {
  std::string text;
  try {
    TFileStream file(file_name, fmOpenRead);
    text.resize(static_cast<std::size_t>(file.Size()));
    if (!text.empty()) file.ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  } catch (const Exception& e) {
    throw EFormError(file_name, 0, e.Message());
  }
  return ReadComponentText(text, file_name, options);
}

}  // namespace tessel

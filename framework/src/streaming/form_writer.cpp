// The form writer: a component, what it owns, and their properties, as text.

#include <string>

#include "framework/form_files.h"
#include "framework/streams.h"
#include "framework/typinfo.h"
#include "streaming/design_position.h"
#include "streaming/form_literals.h"
#include "streaming/property_text.h"

namespace tessel {

namespace {

// Binary data is written this many bytes to a line.
constexpr std::size_t kBytesPerLine = 32;

class FormWriter {
 public:
  explicit FormWriter(const TComponent& root) : root_(root) {}

  std::string Write() {
    WriteObject(root_, 0);
    return std::move(out_);
  }

 private:
  void Line(int indent, std::string_view text) {
    out_.append(static_cast<std::size_t>(indent), ' ');
    out_ += text;
    out_ += '\n';
  }

  const TClassInfo& ClassOf(const TComponent& component) const {
    const TClassInfo* info = ClassInfoOfObject(component);
    if (info == nullptr || info->Type() != typeid(component)) {
      throw EWriteError("Cannot write " + Describe(component) + ": its class " +
                        component.ClassName() + " is not registered");
    }
    return *info;
  }

  // A component with a parent component in the form is written inside it.
  bool WrittenInParent(const TComponent& component) const {
    const TComponent* parent = component.GetParentComponent();
    return parent != nullptr && (parent == &root_ || parent->Owner() == &root_);
  }

  static std::string Describe(const TComponent& component) {
    return component.Name().empty() ? "an unnamed " + component.ClassName() : component.Name();
  }

  void WriteObject(const TComponent& component, int indent) {
    const TClassInfo& info = ClassOf(component);
    Line(indent, component.Name().empty() ? "object " + info.Name()
                                          : "object " + component.Name() + ": " + info.Name());
    WriteProperties(component, info, "", indent + 2);
    for (const auto& [name, value] : detail::DesignCoordinates(component, info)) {
      Line(indent + 2, name + " = " + std::to_string(value));
    }
    WriteDefinedProperties(component, info, indent + 2);
    component.GetChildren([&](TComponent* child) { WriteObject(*child, indent + 2); }, &root_);
    if (&component == &root_) {
      for (int i = 0; i < root_.ComponentCount(); ++i) {
        const TComponent& owned = *root_.Components(i);
        if (!WrittenInParent(owned)) WriteObject(owned, indent + 2);
      }
    }
    Line(indent, "end");
  }

  void WriteProperties(const TPersistent& object, const TClassInfo& info, const std::string& prefix,
                       int indent) {
    for (const TPropInfo* p : info.Properties()) {
      if (p->IsStored(object)) WriteProperty(object, *p, prefix + p->name, indent);
    }
  }

  void WriteProperty(const TPersistent& object, const TPropInfo& p, const std::string& path,
                     int indent) {
    switch (p.type->kind) {
      case tkInteger:
      case tkBoolean:
      case tkEnumeration:
      case tkSet: {
        const std::int64_t value = p.get_ordinal(object);
        if (p.default_ordinal && *p.default_ordinal == value) return;
        Line(indent, path + " = " + detail::OrdinalText(*p.type, value));
        return;
      }
      case tkString: {
        const std::string value = p.get_string(object);
        if (!value.empty()) Line(indent, path + " = " + detail::QuoteFormString(value));
        return;
      }
      case tkFloat: {
        const double value = p.get_float(object);
        if (value != 0) Line(indent, path + " = " + detail::FloatText(value));
        return;
      }
      case tkMethod: {
        const std::string handler = p.get_handler(object);
        if (!handler.empty()) Line(indent, path + " = " + handler);
        return;
      }
      case tkComponent:
        WriteReference(object, p, path, indent);
        return;
      case tkStrings:
        WriteStrings(dynamic_cast<const TStrings*>(p.get_object(object)), path, indent);
        return;
      case tkClass:
        if (const TPersistent* nested = p.get_object(object)) {
          WriteProperties(*nested, *p.type->class_info, path + ".", indent);
        }
        return;
      case tkCollection:
        WriteCollection(dynamic_cast<const TCollection*>(p.get_object(object)), p, path, indent);
        return;
      case tkVariant:
        if (p.get_number_literal) {
          const std::string literal = p.get_number_literal(object);
          if (!literal.empty()) return Line(indent, path + " = " + literal);
        }
        WriteVariant(p.get_variant(object), path, indent);
        return;
      case tkBinary:
        return;
    }
  }

  void WriteReference(const TPersistent& object, const TPropInfo& p, const std::string& path,
                      int indent) {
    const auto* target = dynamic_cast<const TComponent*>(p.get_object(object));
    if (target == nullptr) return;
    // A reference is written by name and found again among the form's
    // components; one outside the form could not be read back.
    if (target != &root_ && target->Owner() != &root_) {
      throw EWriteError("Cannot write " + path + ": it refers to " + Describe(*target) +
                        ", which is not part of the form");
    }
    Line(indent, path + " = " + target->Name());
  }

  void WriteStrings(const TStrings* strings, const std::string& path, int indent) {
    if (strings == nullptr || strings->Count() == 0) return;
    Line(indent, path + ".Strings = (");
    for (int i = 0; i < strings->Count(); ++i) {
      std::string text = detail::QuoteFormString(strings->Strings(i));
      if (i + 1 == strings->Count()) text += ')';
      Line(indent + 2, text);
    }
  }

  void WriteCollection(const TCollection* collection, const TPropInfo& p, const std::string& path,
                       int indent) {
    if (collection == nullptr) return;
    if (collection->Count() == 0) {
      Line(indent, path + " = <>");
      return;
    }
    Line(indent, path + " = <");
    for (int i = 0; i < collection->Count(); ++i) {
      Line(indent + 2, "item");
      WriteProperties(*collection->Items(i), *p.type->item_class, "", indent + 4);
      Line(indent + 2, i + 1 == collection->Count() ? "end>" : "end");
    }
  }

  void WriteVariant(const Variant& value, const std::string& path, int indent) {
    switch (value.VarType()) {
      case varEmpty:
      case varNull:
        Line(indent, path + " = Null");
        return;
      case varSmallint:
      case varInteger:
      case varByte:
        Line(indent, path + " = " + std::to_string(value.AsInteger()));
        return;
      case varCurrency:
        Line(indent, path + " = " + value.AsCurrency().ToString());
        return;
      case varDouble:
      case varDate:
        Line(indent, path + " = " + detail::FloatText(value.AsFloat()));
        return;
      case varBoolean:
        Line(indent, path + " = " + (value.AsBoolean() ? "True" : "False"));
        return;
      case varString:
        Line(indent, path + " = " + detail::QuoteFormString(value.AsString()));
        return;
      case varBytes:
        WriteBinary(value.AsBytes(), path, indent);
        return;
      default:
        throw EWriteError("Cannot write " + path + ": a value of type " + value.TypeName() +
                          " has no form in a form file");
    }
  }

  void WriteBinary(const std::vector<std::uint8_t>& bytes, const std::string& path, int indent) {
    if (bytes.empty()) {
      Line(indent, path + " = {}");
      return;
    }
    Line(indent, path + " = {");
    const std::vector<std::string> lines = detail::HexLines(bytes, kBytesPerLine);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      Line(indent + 2, i + 1 == lines.size() ? lines[i] + "}" : lines[i]);
    }
  }

  void WriteDefinedProperties(const TPersistent& object, const TClassInfo& info, int indent) {
    for (const TDefinedProperty* p : info.DefinedProperties()) {
      if (!p->has_data(object)) continue;
      TMemoryStream stream;
      p->write(object, stream);
      WriteBinary(stream.Bytes(), p->name, indent);
    }
  }

  const TComponent& root_;
  std::string out_;
};

}  // namespace

std::string WriteComponentText(const TComponent& root) {
  return FormWriter(root).Write();
}

void WriteComponentFile(const TComponent& root, const std::string& file_name) {
  const std::string text = WriteComponentText(root);
  TFileStream file(file_name, fmCreate);
  file.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

}  // namespace tessel

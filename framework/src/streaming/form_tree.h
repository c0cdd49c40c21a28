#pragma once

// A form file as parsed, before anything is created: objects with their
// property assignments, each value kept with the line it was read on.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::detail {

struct FormItem;

struct FormValue {
  enum Kind : std::uint8_t {
    kIdent,  // True, nlTCPIP, SQLServer1, a handler name, Null
    kInteger,
    kFloat,
    kString,
    kSet,         // [a, b]: names
    kList,        // ( ... ): items, each a scalar
    kCollection,  // < item ... end >: collection
    kBinary,      // { hex }: bytes
  };
  Kind kind = kIdent;
  int line = 0;
  std::string text;  // the identifier or the string
  std::int64_t integer = 0;
  double number = 0;
  std::vector<std::string> names;
  std::vector<FormValue> items;
  std::vector<FormItem> collection;
  std::vector<std::uint8_t> bytes;
};

struct FormProperty {
  std::string path;  // UpdateParams.TableName
  int line = 0;
  FormValue value;
};

struct FormItem {
  int line = 0;
  std::vector<FormProperty> properties;
};

struct FormObject {
  std::string name;
  std::string class_name;
  int line = 0;
  std::vector<FormProperty> properties;
  std::vector<FormObject> children;
};

// Parses the text of a form file; raises EFormError naming file_name and the
// line for anything malformed or cut short.
FormObject ParseForm(std::string_view text, const std::string& file_name);

// The readable name of a value's kind, for messages ("a string").
const char* FormValueKindName(FormValue::Kind kind);

}  // namespace tessel::detail

#include "clipboard.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "form_canvas.h"
#include "form_text.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"
#include "framework/typinfo.h"

namespace tessel::designer {

namespace {

using Place = std::pair<int, int>;

// Property lines of a form's components are two deeper than their header.
constexpr int kClipProperty = 2;
constexpr int kFormProperty = 4;

std::optional<Place> SavedPlace(const FormObjectLines& object, int indent) {
  std::optional<int> left, top;
  std::string name, value;
  for (const std::string& line : object.lines) {
    if (!PropertyLine(line, indent, name, value)) continue;
    if (CompareText(name, "Left") == 0) left = std::atoi(value.c_str());
    if (CompareText(name, "Top") == 0) top = std::atoi(value.c_str());
  }
  if (!left && !top) return std::nullopt;
  return Place(left.value_or(0), top.value_or(0));
}

bool Overlaps(const Place& a, const Place& b) {
  return std::abs(a.first - b.first) < ComponentIcon::kWidth &&
         std::abs(a.second - b.second) < ComponentIcon::kHeight;
}

// The name itself when free, else its stem and the first free number.
std::string FreeName(const std::string& name, std::set<std::string>& taken) {
  std::string chosen = name;
  if (taken.count(UpperCase(chosen)) > 0) {
    std::string stem = name;
    while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back())) != 0) {
      stem.pop_back();
    }
    for (int n = 1; taken.count(UpperCase(chosen = stem + std::to_string(n))) > 0; ++n) {
    }
  }
  taken.insert(UpperCase(chosen));
  return chosen;
}

struct Header {
  int indent;
  std::string name;
  std::string class_name;
};

// An object's header line ("    object Name: TClass") at any indent.
std::optional<Header> HeaderOf(const std::string& line) {
  const std::size_t indent = line.find_first_not_of(' ');
  if (indent == std::string::npos || line.compare(indent, 7, "object ") != 0) return std::nullopt;
  const std::vector<FormObjectLines> objects = ObjectsAt({line.substr(indent), "end"}, 0);
  if (objects.empty()) return std::nullopt;
  return Header{static_cast<int>(indent), objects.front().name, objects.front().class_name};
}

bool IsReference(const std::string& class_name, const std::string& property) {
  const TClassInfo* info = GetClass(class_name);
  const TPropInfo* p = info != nullptr ? info->FindProperty(property) : nullptr;
  return p != nullptr && p->type->kind == tkComponent;
}

bool IsA(const std::string& class_name, const TClassInfo* base) {
  const TClassInfo* info = GetClass(class_name);
  return info != nullptr && info->InheritsFrom(base);
}

// A string property's value ('it''s') as its text.
std::string Unquoted(const std::string& value) {
  if (value.size() < 2 || value.front() != '\'' || value.back() != '\'') return value;
  std::string text;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    text += value[i];
    if (value[i] == '\'' && value[i + 1] == '\'') ++i;
  }
  return text;
}

std::string Quoted(const std::string& text) {
  std::string value = "'";
  for (char c : text) value += c == '\'' ? std::string("''") : std::string(1, c);
  return value + "'";
}

// The FieldName a field object's lines give (its properties at indent).
std::string FieldNameOf(const FormObjectLines& field, int indent) {
  std::string name, value;
  for (const std::string& line : field.lines) {
    if (PropertyLine(line, indent, name, value) && CompareText(name, "FieldName") == 0) {
      return Unquoted(value);
    }
  }
  return {};
}

// A dataset of the form and the field names its fields take, upper-cased.
struct FormDataSet {
  std::string name;
  std::set<std::string> field_names;
};

std::vector<FormDataSet> DataSetsOf(const std::vector<std::string>& form) {
  std::vector<FormDataSet> datasets;
  for (const FormObjectLines& object : ObjectsAt(form, 2)) {
    if (!IsA(object.class_name, ClassInfoOf<TDataSet>())) continue;
    FormDataSet dataset{object.name, {}};
    for (const FormObjectLines& field : ObjectsAt(object.lines, 4)) {
      dataset.field_names.insert(UpperCase(FieldNameOf(field, 6)));
    }
    datasets.push_back(std::move(dataset));
  }
  return datasets;
}

// The dataset of the form whose name starts `name` (the longest such).
FormDataSet* NamedAfter(std::vector<FormDataSet>& datasets, const std::string& name) {
  FormDataSet* found = nullptr;
  for (FormDataSet& dataset : datasets) {
    const std::size_t size = dataset.name.size();
    if (size < name.size() && CompareText(name.substr(0, size), dataset.name) == 0 &&
        (found == nullptr || size > found->name.size())) {
      found = &dataset;
    }
  }
  return found;
}

// The dataset a pasted field joins: the one asked for, else the one it is
// named after.
FormDataSet& DataSetFor(std::vector<FormDataSet>& datasets, const std::string& field,
                        const std::string& into) {
  if (into.empty()) {
    if (FormDataSet* named = NamedAfter(datasets, field)) return *named;
    throw Exception("The field " + field +
                    " belongs in a dataset: select the dataset to paste it into");
  }
  for (FormDataSet& dataset : datasets) {
    if (CompareText(dataset.name, into) == 0) return dataset;
  }
  throw Exception("The field " + field + " cannot be pasted into " + into +
                  ", which is not a dataset");
}

// A field taking a free field name: its stem and the first free number.
std::string FreeFieldName(const std::string& field_name, std::set<std::string>& taken) {
  if (field_name.empty()) return field_name;
  return FreeName(field_name, taken);
}

}  // namespace

std::string CopyComponentText(const std::string& form_text, const std::string& name) {
  // Any component of the form, the fields nested in a dataset included.
  const std::vector<std::string> lines = SplitLines(form_text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::optional<Header> header = HeaderOf(lines[i]);
    if (!header || header->indent < 2 || CompareText(header->name, name) != 0) continue;
    const auto indent = static_cast<std::size_t>(header->indent);
    const std::string end = std::string(indent, ' ') + "end";
    std::vector<std::string> clip;
    for (std::size_t j = i; j < lines.size(); ++j) {
      const std::string& line = lines[j];
      clip.push_back(line.substr(std::min(indent, line.find_first_not_of(' '))));
      if (line == end) return JoinLines(clip);
    }
  }
  return {};
}

PastedForm PasteComponentText(const std::string& form_text, const std::string& clip,
                              const std::string& into) {
  const std::vector<FormObjectLines> pasted = ObjectsAt(SplitLines(clip), 0);
  if (pasted.empty()) throw Exception("The clipboard holds no components");
  std::vector<std::string> form = SplitLines(form_text);
  if (form.empty() || form.back() != "end") throw Exception("The form text has no end");

  // Names the form uses, its nested components' (a dataset's fields)
  // included, and where its icons are.
  std::set<std::string> taken;
  for (const std::string& line : form) {
    if (const std::optional<Header> header = HeaderOf(line)) taken.insert(UpperCase(header->name));
  }
  std::vector<Place> places;
  for (const FormObjectLines& object : ObjectsAt(form, 2)) {
    if (auto at = SavedPlace(object, kFormProperty)) places.push_back(*at);
  }
  const std::set<std::string> existing = taken;
  std::vector<FormDataSet> datasets = DataSetsOf(form);

  // Every pasted component gets a free name, nested ones too: a nested
  // component named after its parent (a field after its dataset) is named
  // after the parent's new name. A field pasted alone joins a dataset of the
  // form under a field name the dataset does not use yet, and is named after
  // that dataset instead of the one it is named after.
  PastedForm result;
  std::map<std::string, std::string> renamed;           // upper-cased clip name: form name
  std::vector<std::string> joins(pasted.size());        // the dataset each field joins
  std::vector<std::string> field_names(pasted.size());  // their new field names
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    const FormObjectLines& object = pasted[i];
    std::string wanted = object.name;
    if (IsA(object.class_name, ClassInfoOf<TField>())) {
      FormDataSet& dataset = DataSetFor(datasets, object.name, into);
      joins[i] = dataset.name;
      if (std::find(result.datasets.begin(), result.datasets.end(), dataset.name) ==
          result.datasets.end()) {
        result.datasets.push_back(dataset.name);
      }
      if (const FormDataSet* named = NamedAfter(datasets, object.name)) {
        wanted = dataset.name + object.name.substr(named->name.size());
      }
      const std::string field_name = FieldNameOf(object, kClipProperty);
      field_names[i] = FreeFieldName(field_name, dataset.field_names);
      if (CompareText(wanted, dataset.name + field_name) == 0) {
        wanted = dataset.name + field_names[i];
      }
    }
    result.names.push_back(FreeName(wanted, taken));
    renamed[UpperCase(object.name)] = result.names.back();
    std::vector<std::pair<int, std::string>> parents;  // indent, clip name
    for (const std::string& line : object.lines) {
      const std::optional<Header> header = HeaderOf(line);
      if (!header) continue;
      while (!parents.empty() && parents.back().first >= header->indent) parents.pop_back();
      if (!parents.empty()) {
        const std::string& parent = parents.back().second;
        std::string wanted = header->name;
        if (wanted.size() > parent.size() &&
            CompareText(wanted.substr(0, parent.size()), parent) == 0) {
          wanted = renamed[UpperCase(parent)] + wanted.substr(parent.size());
        }
        renamed[UpperCase(header->name)] = FreeName(wanted, taken);
      }
      parents.emplace_back(header->indent, header->name);
    }
  }

  std::vector<std::string> added;
  std::map<std::string, std::vector<std::string>> joining;  // dataset: its new fields' lines
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    const FormObjectLines& object = pasted[i];
    const bool joins_dataset = !joins[i].empty();
    std::vector<std::string>& into_lines = joins_dataset ? joining[joins[i]] : added;
    const std::string indent = joins_dataset ? "    " : "  ";
    const std::optional<Place> at = SavedPlace(object, kClipProperty);
    bool keep_place = at.has_value();
    for (const Place& other : places) keep_place = keep_place && !Overlaps(*at, other);
    if (keep_place) places.push_back(*at);
    // The objects open at this line: their indent and class.
    std::vector<std::pair<int, std::string>> open;
    for (const std::string& clip_line : object.lines) {
      std::string line = clip_line;
      if (const std::optional<Header> header = HeaderOf(line);
          header && (open.empty() || header->indent == open.back().first + 2)) {
        open.emplace_back(header->indent, header->class_name);
        line = std::string(static_cast<std::size_t>(header->indent), ' ') + "object " +
               renamed[UpperCase(header->name)] + ": " + header->class_name;
        into_lines.push_back(indent + line);
        continue;
      }
      if (!open.empty() &&
          line == std::string(static_cast<std::size_t>(open.back().first), ' ') + "end") {
        open.pop_back();
        into_lines.push_back(indent + line);
        continue;
      }
      std::string name, value;
      if (!open.empty() && PropertyLine(line, open.back().first + 2, name, value)) {
        if (joins_dataset && open.size() == 1 && CompareText(name, "FieldName") == 0) {
          line = line.substr(0, line.size() - value.size()) + Quoted(field_names[i]);
        }
        const bool coordinate = CompareText(name, "Left") == 0 || CompareText(name, "Top") == 0;
        if (coordinate && open.size() == 1 && !keep_place) continue;
        if (IsReference(open.back().second, name)) {
          const auto target = renamed.find(UpperCase(value));
          if (target != renamed.end()) {
            line = line.substr(0, line.size() - value.size()) + target->second;
          } else if (existing.count(UpperCase(value)) == 0 ||
                     CompareText(name, "UpdateObject") == 0) {
            // An update object serves one query: a pasted query does not
            // take it from the one it serves.
            continue;
          }
        }
      }
      into_lines.push_back(indent + line);
    }
  }
  // Fields go in at the end of their dataset's object, the rest at the end
  // of the form.
  std::vector<std::string> lines;
  std::string top;  // the component of the form whose lines these are
  for (std::size_t i = 0; i + 1 < form.size(); ++i) {
    const std::string& line = form[i];
    if (const std::optional<Header> header = HeaderOf(line); header && header->indent == 2) {
      top = header->name;
    }
    if (line == "  end") {
      const auto fields = joining.find(top);
      if (fields != joining.end())
        lines.insert(lines.end(), fields->second.begin(), fields->second.end());
      top.clear();
    }
    lines.push_back(line);
  }
  lines.insert(lines.end(), added.begin(), added.end());
  lines.push_back(form.back());
  result.form_text = JoinLines(lines);
  return result;
}

std::string WithDataSetsClosed(const std::string& form_text,
                               const std::vector<std::string>& datasets) {
  std::vector<std::string> lines;
  bool closing = false;
  for (const std::string& line : SplitLines(form_text)) {
    if (const std::optional<Header> header = HeaderOf(line); header && header->indent == 2) {
      closing = std::any_of(datasets.begin(), datasets.end(), [&](const std::string& name) {
        return CompareText(name, header->name) == 0;
      });
    }
    std::string name, value;
    if (closing && PropertyLine(line, kFormProperty, name, value) &&
        CompareText(name, "Active") == 0) {
      continue;
    }
    lines.push_back(line);
  }
  return JoinLines(lines);
}

}  // namespace tessel::designer

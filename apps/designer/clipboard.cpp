#include "clipboard.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "form_canvas.h"
#include "form_text.h"
#include "framework/exceptions.h"
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

}  // namespace

std::string CopyComponentText(const std::string& form_text, const std::string& name) {
  for (const FormObjectLines& object : ObjectsAt(SplitLines(form_text), 2)) {
    if (CompareText(object.name, name) != 0) continue;
    std::vector<std::string> lines;
    for (const std::string& line : object.lines) lines.push_back(line.substr(2));
    return JoinLines(lines);
  }
  return {};
}

PastedForm PasteComponentText(const std::string& form_text, const std::string& clip) {
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

  // Every pasted component gets a free name, nested ones too: a nested
  // component named after its parent (a field after its dataset) is named
  // after the parent's new name.
  PastedForm result;
  std::map<std::string, std::string> renamed;  // upper-cased clip name: form name
  for (const FormObjectLines& object : pasted) {
    result.names.push_back(FreeName(object.name, taken));
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
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    const FormObjectLines& object = pasted[i];
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
        added.push_back("  " + line);
        continue;
      }
      if (!open.empty() &&
          line == std::string(static_cast<std::size_t>(open.back().first), ' ') + "end") {
        open.pop_back();
        added.push_back("  " + line);
        continue;
      }
      std::string name, value;
      if (!open.empty() && PropertyLine(line, open.back().first + 2, name, value)) {
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
      added.push_back("  " + line);
    }
  }
  form.insert(form.end() - 1, added.begin(), added.end());
  result.form_text = JoinLines(form);
  return result;
}

}  // namespace tessel::designer

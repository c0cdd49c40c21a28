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

  // Names the form uses, and where its icons are.
  std::set<std::string> taken;
  const std::vector<FormObjectLines> root = ObjectsAt(form, 0);
  if (!root.empty()) taken.insert(UpperCase(root.front().name));
  std::vector<Place> places;
  for (const FormObjectLines& object : ObjectsAt(form, 2)) {
    taken.insert(UpperCase(object.name));
    if (auto at = SavedPlace(object, kFormProperty)) places.push_back(*at);
  }
  const std::set<std::string> existing = taken;

  PastedForm result;
  std::map<std::string, std::string> renamed;  // upper-cased clip name: form name
  for (const FormObjectLines& object : pasted) {
    result.names.push_back(FreeName(object.name, taken));
    renamed[UpperCase(object.name)] = result.names.back();
  }

  std::vector<std::string> added;
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    const FormObjectLines& object = pasted[i];
    const std::optional<Place> at = SavedPlace(object, kClipProperty);
    bool keep_place = at.has_value();
    for (const Place& other : places) keep_place = keep_place && !Overlaps(*at, other);
    if (keep_place) places.push_back(*at);
    added.push_back("  object " + result.names[i] + ": " + object.class_name);
    for (std::size_t l = 1; l < object.lines.size(); ++l) {
      std::string line = object.lines[l];
      std::string name, value;
      if (PropertyLine(line, kClipProperty, name, value)) {
        const bool coordinate = CompareText(name, "Left") == 0 || CompareText(name, "Top") == 0;
        if (coordinate && !keep_place) continue;
        if (IsReference(object.class_name, name)) {
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

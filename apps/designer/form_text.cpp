#include "form_text.h"

namespace tessel::designer {

namespace {

bool HasIndent(const std::string& line, int indent) {
  const auto n = static_cast<std::size_t>(indent);
  return line.size() > n && line.compare(0, n, std::string(n, ' ')) == 0 && line[n] != ' ';
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::vector<FormObjectLines> ObjectsAt(const std::vector<std::string>& lines, int indent) {
  const std::string header = std::string(static_cast<std::size_t>(indent), ' ') + "object ";
  const std::string end = std::string(static_cast<std::size_t>(indent), ' ') + "end";
  std::vector<FormObjectLines> objects;
  FormObjectLines* open = nullptr;
  for (const std::string& line : lines) {
    if (open == nullptr) {
      if (line.rfind(header, 0) != 0) continue;
      FormObjectLines object;
      const std::string rest = line.substr(header.size());
      const std::size_t colon = rest.find(':');
      object.name = rest.substr(0, colon);
      if (colon != std::string::npos) {
        object.class_name = rest.substr(colon + 1);
        object.class_name.erase(0, object.class_name.find_first_not_of(' '));
      }
      objects.push_back(std::move(object));
      open = &objects.back();
    }
    open->lines.push_back(line);
    if (line == end) open = nullptr;
  }
  // An object whose end is missing is not a whole object.
  if (open != nullptr) objects.pop_back();
  return objects;
}

bool PropertyLine(const std::string& line, int indent, std::string& name, std::string& value) {
  if (!HasIndent(line, indent)) return false;
  const std::size_t eq = line.find(" = ");
  if (eq == std::string::npos) return false;
  name = line.substr(static_cast<std::size_t>(indent), eq - static_cast<std::size_t>(indent));
  if (name.find(' ') != std::string::npos) return false;
  value = line.substr(eq + 3);
  return true;
}

}  // namespace tessel::designer

#pragma once

// Line-level reading of the form-file text the writer produces (see
// framework/form_files.h): one object header per component ("object Name:
// TClass"), its properties indented two spaces deeper, each on one line, and
// "end" at the header's indent. Enough for the designer to lift a component
// out of a form, add one to another form, or leave a property out, without
// creating any component. Pure text; any thread.

#include <string>
#include <string_view>
#include <vector>

namespace tessel::designer {

struct FormObjectLines {
  std::string name;
  std::string class_name;
  // The header, the property lines and the end, with the header's indent.
  std::vector<std::string> lines;
};

std::vector<std::string> SplitLines(std::string_view text);
std::string JoinLines(const std::vector<std::string>& lines);

// The objects whose header is at `indent` (0: a clip's objects, 2: the
// components a form's root owns).
std::vector<FormObjectLines> ObjectsAt(const std::vector<std::string>& lines, int indent);

// For a property line at `indent` ("Name = value"), the name and the value;
// false for any other line.
bool PropertyLine(const std::string& line, int indent, std::string& name, std::string& value);

}  // namespace tessel::designer

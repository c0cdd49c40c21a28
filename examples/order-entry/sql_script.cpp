#include "sql_script.h"

#include <fstream>
#include <sstream>

#include "framework/exceptions.h"

namespace order_entry {

namespace {

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

bool IsGo(std::string_view line) {
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return false;
  const auto last = line.find_last_not_of(" \t\r");
  const std::string_view word = line.substr(first, last - first + 1);
  return word.size() == 2 && (word[0] == 'G' || word[0] == 'g') &&
         (word[1] == 'O' || word[1] == 'o');
}

}  // namespace

std::vector<std::string> ScriptBatches(std::string_view text) {
  std::vector<std::string> batches;
  std::string batch;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (IsGo(line)) {
      if (!IsBlank(batch)) batches.push_back(batch);
      batch.clear();
    } else {
      batch.append(line).append("\n");
    }
  }
  if (!IsBlank(batch)) batches.push_back(batch);
  return batches;
}

void RunScriptFile(tessel::TSQLServer& server, const std::string& file_name) {
  std::ifstream file(file_name, std::ios::binary);
  if (!file) throw tessel::EInOutError("Cannot read the script " + file_name);
  std::ostringstream text;
  text << file.rdbuf();
  if (!server.Connected()) server.Open();
  for (const std::string& batch : ScriptBatches(text.str())) server.InternalExecute(batch);
}

}  // namespace order_entry

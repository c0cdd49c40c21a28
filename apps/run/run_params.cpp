#include "run_params.h"

#include <cctype>

#include "framework/exceptions.h"
#include "framework/params.h"
#include "runtime/Tessel.h"

namespace tessel_run {

ParamValues TakeParams(int& argc, char** argv, std::string& error) {
  ParamValues values;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--param") {
      argv[kept++] = argv[i];
      continue;
    }
    const std::string pair = i + 1 < argc ? argv[++i] : "";
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos || equals == 0) {
      error = "--param wants NAME=VALUE, not '" + pair + "'";
      break;
    }
    values.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
  }
  argc = kept;
  argv[argc] = nullptr;
  return values;
}

void SetParams(tessel::TTessel& query, const ParamValues& values) {
  if (values.empty()) return;
  query.Close();
  // A form written by hand may leave out the Params list, and loading does
  // not derive it from the SQL text: the text is given again, which does.
  if (query.Params()->Count() == 0) query.SQL()->SetText(query.SQL()->Text());
  for (const auto& [name, value] : values) {
    tessel::TParam* param = query.Params()->FindParam(name);
    if (param == nullptr) throw tessel::Exception(query.Name() + " has no parameter " + name);
    param->SetText(value);
  }
}

std::string UserMessage(std::string message) {
  // "EClassName: text": a class name is one word starting with E.
  const std::size_t colon = message.find(": ");
  if (colon != std::string::npos && colon > 1 && message[0] == 'E') {
    bool word = true;
    for (std::size_t i = 0; i < colon; ++i)
      word = word && (std::isalnum(static_cast<unsigned char>(message[i])) != 0);
    if (word) message.erase(0, colon + 2);
  }
  if (message.size() >= 2 && message.compare(message.size() - 2, 2, "..") == 0) message.pop_back();
  return message;
}

}  // namespace tessel_run

#include "framework/event_handlers.h"

#include <map>

namespace tessel {

namespace {

std::map<std::string, std::any, std::less<>>& Handlers() {
  static std::map<std::string, std::any, std::less<>> handlers;
  return handlers;
}

}  // namespace

void detail::RegisterEventHandlerAny(const std::string& name, std::any handler) {
  Handlers()[name] = std::move(handler);
}

void UnRegisterEventHandler(const std::string& name) {
  Handlers().erase(name);
}

void ClearEventHandlers() {
  Handlers().clear();
}

const std::any* FindEventHandler(std::string_view name) {
  const auto it = Handlers().find(name);
  return it == Handlers().end() ? nullptr : &it->second;
}

std::vector<std::string> EventHandlerNames() {
  std::vector<std::string> names;
  names.reserve(Handlers().size());
  for (const auto& [name, handler] : Handlers()) names.push_back(name);
  return names;
}

}  // namespace tessel

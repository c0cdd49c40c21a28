#pragma once

// Event handlers by name. A form file stores an event as the name of its
// handler; the application registers its handlers under those names before
// it reads the file, and the reader binds them. A bound handler keeps its
// name, so the writer can write it back. Main thread only.
//
//   RegisterEventHandler<TLoginEvent>("ServerLogin", [](TSQLServer* s) { ... });

#include <any>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessel {

// An event handler that remembers the name it was bound by. An empty
// function does nothing when called (a name kept for design time).
template <class E>
struct TNamedHandler;

template <class... A>
struct TNamedHandler<std::function<void(A...)>> {
  std::string name;
  std::function<void(A...)> fn;
  void operator()(A... args) const {
    if (fn) fn(std::forward<A>(args)...);
  }
};

namespace detail {
void RegisterEventHandlerAny(const std::string& name, std::any handler);
}  // namespace detail

// Registers handler under name for events of type E (a std::function type);
// a later registration of the same name replaces the earlier one.
template <class E>
void RegisterEventHandler(const std::string& name, E handler) {
  detail::RegisterEventHandlerAny(name, std::any(std::move(handler)));
}
void UnRegisterEventHandler(const std::string& name);
void ClearEventHandlers();
// The handler registered under name (case counts), or null.
const std::any* FindEventHandler(std::string_view name);
// Every registered name, in ascending order.
std::vector<std::string> EventHandlerNames();
// A handler registered for events of type E (see RegisterEventHandler).
template <class E>
bool IsEventHandlerOf(const std::any& handler) {
  return std::any_cast<E>(&handler) != nullptr;
}

// The name event was bound by, or "" for none or an unnamed function.
template <class E>
std::string EventHandlerName(const E& event) {
  const auto* named = event.template target<TNamedHandler<E>>();
  return named ? named->name : std::string();
}

// Binds the handler registered as name to event: true when handler (if not
// null) is an E. A null handler binds a named handler that does nothing.
template <class E>
bool BindEventHandler(E& event, const std::string& name, const std::any* handler) {
  if (name.empty()) {
    event = nullptr;
    return true;
  }
  E fn;
  if (handler != nullptr) {
    const E* typed = std::any_cast<E>(handler);
    if (typed == nullptr) return false;
    fn = *typed;
  }
  event = TNamedHandler<E>{name, std::move(fn)};
  return true;
}

}  // namespace tessel

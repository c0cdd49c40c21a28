#include "framework/show_message.h"

#include <iostream>

namespace tessel {

namespace {

TShowMessageHook& Hook() {
  static TShowMessageHook hook;
  return hook;
}

}  // namespace

void ShowMessage(const std::string& message) {
  if (Hook()) {
    Hook()(message);
  } else {
    std::cout << message << std::endl;
  }
}

TShowMessageHook SetShowMessageHook(TShowMessageHook hook) {
  TShowMessageHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

}  // namespace tessel

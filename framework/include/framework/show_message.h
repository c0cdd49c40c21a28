#pragma once

// ShowMessage: a plain message to the user, not an exception. Where it goes
// is a hook: standard output by default, a message box at design time.
// Main thread only.

#include <functional>
#include <string>

namespace tessel {

using TShowMessageHook = std::function<void(const std::string& message)>;

// Shows message through the current hook.
void ShowMessage(const std::string& message);
// Installs hook (null: back to standard output) and returns the previous one.
TShowMessageHook SetShowMessageHook(TShowMessageHook hook);

}  // namespace tessel

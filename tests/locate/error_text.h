#pragma once

#include <functional>
#include <string>

#include "framework/exceptions.h"

namespace tessel::testing {

// The message of the EDatabaseError that `action` raises ("" when none).
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "";
}

}  // namespace tessel::testing

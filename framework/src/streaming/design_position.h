#pragma once

// A component's place on a designer's form (TComponent::DesignInfo) in a form
// file: two integer lines, Left and Top, after its published properties, each
// left out while it is 0, so that a form never placed in a designer writes
// nothing more. A class that publishes a Left or a Top of its own writes and
// reads that property instead.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/component.h"
#include "framework/typinfo.h"

namespace tessel::detail {

// The smallest and largest coordinate a form file may hold.
inline constexpr int kDesignCoordinateMin = -32768;
inline constexpr int kDesignCoordinateMax = 32767;

// The (name, value) pairs to write for component, of class info.
std::vector<std::pair<std::string, int>> DesignCoordinates(const TComponent& component,
                                                           const TClassInfo& info);
// Whether name (case ignored) is Left or Top.
bool IsDesignCoordinate(std::string_view name);
// Sets the Left or Top half of component's DesignInfo.
void SetDesignCoordinate(TComponent& component, std::string_view name, int value);

}  // namespace tessel::detail

#include "streaming/design_position.h"

#include "framework/sysutils.h"

namespace tessel::detail {

namespace {

constexpr std::string_view kLeft = "Left";
constexpr std::string_view kTop = "Top";

}  // namespace

std::vector<std::pair<std::string, int>> DesignCoordinates(const TComponent& component,
                                                           const TClassInfo& info) {
  std::vector<std::pair<std::string, int>> lines;
  const std::int32_t at = component.DesignInfo();
  if (DesignInfoLeft(at) != 0 && info.FindProperty(kLeft) == nullptr) {
    lines.emplace_back(kLeft, DesignInfoLeft(at));
  }
  if (DesignInfoTop(at) != 0 && info.FindProperty(kTop) == nullptr) {
    lines.emplace_back(kTop, DesignInfoTop(at));
  }
  return lines;
}

bool IsDesignCoordinate(std::string_view name) {
  return CompareText(name, kLeft) == 0 || CompareText(name, kTop) == 0;
}

void SetDesignCoordinate(TComponent& component, std::string_view name, int value) {
  const std::int32_t at = component.DesignInfo();
  component.SetDesignInfo(CompareText(name, kLeft) == 0
                              ? MakeDesignInfo(value, DesignInfoTop(at))
                              : MakeDesignInfo(DesignInfoLeft(at), value));
}

}  // namespace tessel::detail

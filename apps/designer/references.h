#pragma once

// Which properties of a form's components refer to a given component, so
// that deleting it can say what it will leave pointing at nothing. Main
// thread.

#include <string>
#include <vector>

namespace tessel {
class TComponent;
}

namespace tessel::designer {

// "Tessel1.DataBaseName" for each reference to target held by the root or a
// component it owns (target's own properties are not counted).
std::vector<std::string> ReferencesTo(const TComponent& root, const TComponent& target);

}  // namespace tessel::designer

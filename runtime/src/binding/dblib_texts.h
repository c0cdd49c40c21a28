#pragma once

// The binding's own two messages; not exported, but translated through the
// same catalog as every other text of the package.

#include "runtime/lqSQLConst.h"

namespace tessel::detail {

inline constexpr ResourceString SLoadLibError{"SLoadLibError",
                                              "Can not load library: ntwdblib.dll"};
inline constexpr ResourceString SGetProcAddrError{"SGetProcAddrError",
                                                  "GetProcAddress for ntwdblib.dll failed"};

}  // namespace tessel::detail

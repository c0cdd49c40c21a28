#pragma once

// Messages of the posting code for settings that cannot produce a statement;
// translated through the same catalog as every other text of the package.

#include "runtime/lqSQLConst.h"

namespace tessel::detail {

inline constexpr ResourceString SUpdateFailedIn{"SUpdateFailedIn", "%s Table: %s"};
inline constexpr ResourceString SNoUpdateTable{
    "SNoUpdateTable", "'%s' cannot write the record: its UpdateParams name no table"};
inline constexpr ResourceString SUpdateColumnNotFound{
    "SUpdateColumnNotFound",
    "'%s' cannot write the record: UpdateParams name column '%s', which is not a field of the "
    "result"};
inline constexpr ResourceString SNoUpdateSettings{
    "SNoUpdateSettings",
    "'%s' cannot write the record: it has neither an UpdateObject nor UpdateParams"};

}  // namespace tessel::detail

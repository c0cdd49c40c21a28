#pragma once

// Messages of the posting code for settings that cannot produce a statement
// and values a column cannot hold whole; translated through the same catalog as every other text of
// the package.

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
// A value longer than its column takes, which the server would cut.
inline constexpr ResourceString STooLongCharacters{
    "STooLongCharacters",
    "Field '%s' is %d characters long (UTF-16 code units); its column takes at most %d, and "
    "the server would cut the rest"};
inline constexpr ResourceString STooLongInCodePage{
    "STooLongInCodePage",
    "Field '%s' takes %d bytes in code page %d; its column takes at most %d, and the server "
    "would cut the rest"};
inline constexpr ResourceString STooLongBytes{
    "STooLongBytes",
    "Field '%s' holds %d bytes; its column takes at most %d, and the server would cut the rest"};

}  // namespace tessel::detail

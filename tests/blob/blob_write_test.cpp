// Writing text and image values through the query's blob streams.

#include "blob_fixture.h"

namespace tessel::testing {
namespace {}  // namespace
}  // namespace tessel::testing

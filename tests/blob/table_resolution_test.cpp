// The tables of text and image columns, from the SQL text and the catalog.

#include "blob_fixture.h"

namespace tessel::testing {
namespace {}  // namespace
}  // namespace tessel::testing

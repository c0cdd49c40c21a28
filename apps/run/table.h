#pragma once

// Prints a dataset's rows as a text table: a header with the field names, a
// rule, one line per record (NULL for a null value; a text or image value as
// its kind and size, "(text, 12 characters)") and the row count.

#include <cstdio>

namespace tessel {
class TDataSet;
}

namespace tessel_run {

// Reads from the first record to the last; returns the number of rows.
int PrintTable(tessel::TDataSet& dataset, std::FILE* out);

}  // namespace tessel_run

#pragma once

// Writes the rows of an open dataset as CSV or JSON, in UTF-8, for
// tessel-explorer's File > Export and tessel-run's --format. CSV has a header
// line of field names and quotes a value only when it holds a comma, quote or
// line break (RFC 4180); JSON is an array of objects, one per row, with
// numbers and booleans as such and null for a null value. Text values are
// written whole; image and other binary values as base64, so that nothing is
// lost on the way. Reading moves the dataset from its first record to its
// last; the caller puts the cursor back where the user had it.

#include <ostream>
#include <string>

namespace tessel {
class TDataSet;
class TField;
}  // namespace tessel

namespace tessel::apps {

enum class ExportFormat { kCsv, kJson };

// Reads "csv" or "json"; false for anything else.
bool ParseExportFormat(const std::string& name, ExportFormat& format);

// Writes every row; returns the number written.
int WriteCsv(TDataSet& dataset, std::ostream& out);
int WriteJson(TDataSet& dataset, std::ostream& out);
int WriteRows(TDataSet& dataset, ExportFormat format, std::ostream& out);

// The text of a value as the export writes it: UTF-8 text, base64 for a
// binary value, "" for null.
std::string ExportText(const TField& field);

}  // namespace tessel::apps

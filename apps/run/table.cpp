#include "table.h"

#include <algorithm>
#include <string>
#include <vector>

#include "framework/dataset.h"
#include "framework/field.h"

namespace tessel_run {

namespace {

using Row = std::vector<std::string>;

// Columns line up by characters, not bytes: a UTF-8 character is one byte
// that starts a sequence and the bytes that continue it.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Control characters would break the table's lines.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  return text;
}

// Text and image values would flood the table (and the terminal) with
// their bytes: a cell names the kind and the size instead.
std::string BlobSummary(const tessel::TField& field) {
  const std::string value = field.AsString();
  const bool text = field.DataType() == tessel::ftMemo || field.DataType() == tessel::ftFmtMemo;
  if (!text) return "(image, " + std::to_string(value.size()) + " bytes)";
  return "(text, " + std::to_string(Characters(value)) + " characters)";
}

std::string CellText(const tessel::TField& field) {
  if (field.IsNull()) return "NULL";
  return field.IsBlob() ? BlobSummary(field) : Printable(field.AsString());
}

void PrintRow(const Row& row, const std::vector<std::size_t>& widths, std::FILE* out) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i > 0) line += " | ";
    line += row[i];
    if (i + 1 < row.size()) line.append(widths[i] - Characters(row[i]), ' ');
  }
  std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace

int PrintTable(tessel::TDataSet& dataset, std::FILE* out) {
  Row header;
  for (int i = 0; i < dataset.FieldCount(); ++i) {
    header.push_back((*dataset.Fields())[i]->FieldName());
  }
  std::vector<Row> rows;
  dataset.First();
  while (!dataset.Eof()) {
    Row row;
    for (int i = 0; i < dataset.FieldCount(); ++i) {
      const tessel::TField* field = (*dataset.Fields())[i];
      row.push_back(CellText(*field));
    }
    rows.push_back(std::move(row));
    dataset.Next();
  }
  std::vector<std::size_t> widths(header.size());
  for (std::size_t i = 0; i < header.size(); ++i) {
    widths[i] = Characters(header[i]);
    for (const Row& row : rows) widths[i] = std::max(widths[i], Characters(row[i]));
  }
  PrintRow(header, widths, out);
  std::string rule;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (i > 0) rule += "-+-";
    rule.append(widths[i], '-');
  }
  std::fprintf(out, "%s\n", rule.c_str());
  for (const Row& row : rows) PrintRow(row, widths, out);
  std::fprintf(out, "(%zu row%s)\n", rows.size(), rows.size() == 1 ? "" : "s");
  return static_cast<int>(rows.size());
}

}  // namespace tessel_run

#include "result_export.h"

#include <cstdio>
#include <vector>

#include "framework/dataset.h"
#include "framework/field.h"

namespace tessel::apps {

namespace {

bool IsBinary(TFieldType type) {
  return type == ftBytes || type == ftVarBytes || type == ftBlob || type == ftGraphic;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += {kDigits[v >> 18], kDigits[v >> 12 & 63], kDigits[v >> 6 & 63], kDigits[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += {kDigits[v >> 18], kDigits[v >> 12 & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const unsigned v =
        static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += {kDigits[v >> 18], kDigits[v >> 12 & 63], kDigits[v >> 6 & 63], '='};
  }
  return out;
}

// A number's text is written bare only when JSON reads it as a number
// ("1E+20" is, "INF" or "1,5" would not be).
bool IsJsonNumber(const std::string& text) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i >= text.size() ||
      (text[i] == '0' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9'))
    return false;
  if (!digits()) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == text.size();
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;  // UTF-8 passes through whole
        }
    }
  }
  return out + "\"";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::vector<TField*> Fields(TDataSet& dataset) {
  std::vector<TField*> fields;
  for (int i = 0; i < dataset.FieldCount(); ++i) fields.push_back((*dataset.Fields())[i]);
  return fields;
}

}  // namespace

bool ParseExportFormat(const std::string& name, ExportFormat& format) {
  if (name == "csv") {
    format = ExportFormat::kCsv;
  } else if (name == "json") {
    format = ExportFormat::kJson;
  } else {
    return false;
  }
  return true;
}

std::string ExportText(const TField& field) {
  if (field.IsNull()) return {};
  return IsBinary(field.DataType()) ? Base64(field.AsString()) : field.AsString();
}

int WriteCsv(TDataSet& dataset, std::ostream& out) {
  const std::vector<TField*> fields = Fields(dataset);
  for (std::size_t i = 0; i < fields.size(); ++i)
    out << (i > 0 ? "," : "") << CsvField(fields[i]->FieldName());
  out << "\r\n";
  int rows = 0;
  for (dataset.First(); !dataset.Eof(); dataset.Next(), ++rows) {
    for (std::size_t i = 0; i < fields.size(); ++i)
      out << (i > 0 ? "," : "") << CsvField(ExportText(*fields[i]));
    out << "\r\n";
  }
  return rows;
}

int WriteJson(TDataSet& dataset, std::ostream& out) {
  const std::vector<TField*> fields = Fields(dataset);
  std::vector<std::string> names;
  for (TField* field : fields) names.push_back(JsonString(field->FieldName()) + ": ");
  int rows = 0;
  out << "[";
  for (dataset.First(); !dataset.Eof(); dataset.Next(), ++rows) {
    out << (rows > 0 ? ",\n  {" : "\n  {");
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const TField& field = *fields[i];
      out << (i > 0 ? ", " : "") << names[i];
      if (field.IsNull()) {
        out << "null";
      } else if (field.DataType() == ftBoolean) {
        out << (field.AsBoolean() ? "true" : "false");
      } else {
        const std::string text = ExportText(field);
        out << (IsNumericType(field.DataType()) && IsJsonNumber(text) ? text : JsonString(text));
      }
    }
    out << "}";
  }
  out << (rows > 0 ? "\n]\n" : "]\n");
  return rows;
}

int WriteRows(TDataSet& dataset, ExportFormat format, std::ostream& out) {
  return format == ExportFormat::kCsv ? WriteCsv(dataset, out) : WriteJson(dataset, out);
}

}  // namespace tessel::apps

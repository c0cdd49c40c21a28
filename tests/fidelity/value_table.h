#pragma once

// The values of the fidelity suite: per column type, the edge values a user
// reads, edits and writes back (minimum, maximum, zero, negative, null, empty,
// full length, every byte, five scripts with emoji and combining marks, the
// finest fraction), each with the text the package must show after a fresh
// read and the text an independent client must see on the server. Shared by
// the tests and the fidelity benchmark.

#include <optional>
#include <string>
#include <vector>

#include "framework/db_types.h"

namespace tessel::fidelity {

// How a value reaches a statement parameter.
enum class ParamKind {
  Text,   // SetAsString
  Memo,   // SetAsMemo
  Blob,   // SetAsBlob
  Bytes,  // SetAsBytes
  Typed,  // SetDataType(ParamType), then SetText or SetAsFloat
  Bcd,    // SetAsBCD of the exact decimal
};

struct FidelityValue {
  std::string label;
  // Null: the field is cleared; Number: SetAsFloat(number); Text: SetAsString(text).
  enum Given { Null, Text, Number } given = Text;
  std::string text;
  double number = 0;
  // What a fresh read shows (AsString; %.17g of AsFloat for float fields);
  // nullopt: the field is null.
  std::optional<std::string> expect;
  // What python-tds reads when it differs from `expect` (dates in isoformat,
  // floats as repr, GUIDs in lower case).
  std::optional<std::string> python;
  // Not empty: the assignment, or the Post when only the column's table can
  // tell (a code page), must raise EDatabaseError naming the field and this
  // part of the value, before anything is sent.
  std::string refused;
};

struct FidelityColumn {
  std::string type;  // as written in CREATE TABLE
  std::string slug;  // part of the table name
  ParamKind param = ParamKind::Text;
  TFieldType paramType = ftString;  // for ParamKind::Typed
  int scale = -1;                   // decimal places the independent client shows
  bool large = false;               // text, ntext, image or a (max) type
  std::vector<FidelityValue> values;
};

const std::vector<FidelityColumn>& ValueTable();

// The value as a short printable label for traces: C escapes, cut at 60 bytes.
std::string Printable(const std::string& bytes);

}  // namespace tessel::fidelity

#pragma once

// The update-side companions of the query dataset: the generated-update
// settings (TUpdateParams) and the update object (TSQLUpdate). The query owns
// its TUpdateParams; an update object is a separate component that the query
// refers to without owning it. The statements that use them are written by
// the posting code; what lives here is what the query's properties need.
// Main thread only.

#include <cstdint>
#include <string>

#include "framework/classes.h"

namespace tessel {

class TTessel;

// Which columns the WHERE clause of a generated statement compares.
enum TUpdateMode : std::uint8_t { upWhereAll, upWhereChanged, upWhereKeyOnly };

// Column lists, table and mode for statements generated from a query's rows.
// Owns both lists; the setters copy the given list's lines.
class TUpdateParams : public TPersistent {
 public:
  TUpdateParams() = default;

  TStringList* KeyFields() { return &FKeyFields; }
  void SetKeyFields(const TStrings* value) { FKeyFields.Assign(value); }
  TStringList* UpdateFields() { return &FUpdateFields; }
  void SetUpdateFields(const TStrings* value) { FUpdateFields.Assign(value); }
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& value) { FTableName = value; }
  TUpdateMode UpdateMode() const { return FUpdateMode; }  // default upWhereChanged
  void SetUpdateMode(TUpdateMode value) { FUpdateMode = value; }

  // From another TUpdateParams: both lists, the table and the mode.
  void Assign(const TPersistent* source) override;

 private:
  TStringList FKeyFields;
  TStringList FUpdateFields;
  std::string FTableName;
  TUpdateMode FUpdateMode = upWhereChanged;
};

// The update object: hand-written modify, insert and delete statements for
// one query. Here only its link to the query it serves; the query sets it when
// it takes the object as its UpdateObject and clears it when it lets go.
class TSQLUpdate : public TComponent {
 public:
  explicit TSQLUpdate(TComponent* owner) : TComponent(owner) {}
  // Leaves the query that names it without an update object.
  ~TSQLUpdate() override;

  TTessel* DataSet() const { return FDataSet; }
  // Only stores the reference; tells nobody.
  void SetDataSet(TTessel* value) { FDataSet = value; }

 private:
  TTessel* FDataSet = nullptr;
};

}  // namespace tessel

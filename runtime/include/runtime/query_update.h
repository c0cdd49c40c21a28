#pragma once

// The update-side companions of the query dataset: the generated-update
// settings (TUpdateParams) and the update object (TSQLUpdate). The query owns
// its TUpdateParams; an update object is a separate component that the query
// refers to without owning it. Main thread only (or the thread that posts on
// the query the update object serves).

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/classes.h"
#include "framework/db_types.h"

namespace tessel {

class TTessel;

// Which columns the WHERE clause of a generated statement compares.
enum TUpdateMode : std::uint8_t { upWhereAll, upWhereChanged, upWhereKeyOnly };

// Column lists, table and mode for statements generated from a query's rows.
// Owns both lists; the setters copy the given list's lines (nullptr empties).
class TUpdateParams : public TPersistent {
 public:
  TUpdateParams() = default;

  TStringList* KeyFields() { return &FKeyFields; }
  const TStringList* KeyFields() const { return &FKeyFields; }
  void SetKeyFields(const TStrings* value) { FKeyFields.Assign(value); }
  TStringList* UpdateFields() { return &FUpdateFields; }
  const TStringList* UpdateFields() const { return &FUpdateFields; }
  void SetUpdateFields(const TStrings* value) { FUpdateFields.Assign(value); }
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& value) { FTableName = value; }
  TUpdateMode UpdateMode() const { return FUpdateMode; }  // default upWhereChanged
  void SetUpdateMode(TUpdateMode value) { FUpdateMode = value; }

  // From another TUpdateParams: both lists, the table and the mode; nullptr
  // changes nothing; any other source raises the framework's assign error.
  void Assign(const TPersistent* source) override;

 private:
  TStringList FKeyFields;
  TStringList FUpdateFields;
  std::string FTableName;
  TUpdateMode FUpdateMode = upWhereChanged;
};

// The update object: hand-written modify, insert and delete statements for
// one query (DataSet), which posts and deletes through Apply instead of
// generating statements. ":name" takes the field's new value, ":OLD_name" its
// value before the edit. Each statement runs in a TTessel of its own, created
// on first use and owned by the update object; the three SQL lists are owned
// too. DataSet is a plain reference kept by the query that names this object
// as its UpdateObject. Main thread, or the thread that posts on DataSet.
class TSQLUpdate : public TComponent {
 public:
  explicit TSQLUpdate(TComponent* owner);
  // Leaves the query that names it without an update object.
  ~TSQLUpdate() override;

  // --- published properties --------------------------------------------------
  // The lists themselves: editing one in place reaches its statement query.
  TStrings* ModifySQL() const { return GetSQLIndex(ukModify); }
  void SetModifySQL(const TStrings* Value) { SetSQLIndex(ukModify, Value); }
  TStrings* InsertSQL() const { return GetSQLIndex(ukInsert); }
  void SetInsertSQL(const TStrings* Value) { SetSQLIndex(ukInsert, Value); }
  TStrings* DeleteSQL() const { return GetSQLIndex(ukDelete); }
  void SetDeleteSQL(const TStrings* Value) { SetSQLIndex(ukDelete, Value); }

  // The list of a kind (0 modify, 1 insert, 2 delete); an index outside
  // 0..2 raises EListError.
  TStrings* GetSQL(TUpdateKind UpdateKind) const { return GetSQLIndex(UpdateKind); }
  void SetSQL(TUpdateKind UpdateKind, const TStrings* Value) { SetSQLIndex(UpdateKind, Value); }
  TStrings* GetSQLIndex(int Index) const;
  // Copies Value's lines (nullptr empties the list).
  void SetSQLIndex(int Index, const TStrings* Value);

  TTessel* DataSet() const { return FDataSet; }
  TTessel* GetDataSet() const { return FDataSet; }
  // Only stores the reference; tells nobody.
  void SetDataSet(TTessel* Value) { FDataSet = Value; }

  // The statement query of a kind, created on first use with the kind's text
  // and DataSet's connection component (taken only now, at creation).
  TTessel* GetQuery(TUpdateKind UpdateKind);
  // Change handler of the three lists: an existing query takes the new text.
  void SQLChanged(TObject* Sender);

  // Fills the kind's parameters from DataSet's current record: "OLD_name"
  // (any case) takes the field's old value, "name" its new value (the old one
  // when no new value was given); a name without a field stays as it is.
  void SetParams(TUpdateKind UpdateKind);
  // Refuses new text of a field bound to the kind's parameters that the
  // statement's table (UPDATE or INSERT INTO it) would store as '?', naming
  // the field and the character, before anything is sent.
  void CheckCodePageText(TUpdateKind UpdateKind);
  // Runs the kind's statement on the base connection; no row affected is the
  // "Update failed" error, offered first to DataSet's OnUpdateError.
  void ExecSQL(TUpdateKind UpdateKind);
  // Copies the memo and blob values sent back into DataSet's active record.
  void UpdateMaster(TUpdateKind UpdateKind);
  // SetParams, CheckCodePageText, ExecSQL and, except for deletes, UpdateMaster.
  void Apply(TUpdateKind UpdateKind);
  // Closes every statement query created so far; they stay for reuse.
  void Close();

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  static constexpr int kKinds = 3;
  static int CheckedIndex(int Index);

  TTessel* FDataSet = nullptr;
  std::array<TTessel*, kKinds> FQueries{};
  std::array<std::unique_ptr<TStringList>, kKinds> FSQLText;
};

}  // namespace tessel

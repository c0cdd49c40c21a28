#pragma once

// TTessel, the query dataset: SQL text with named parameters (":name"), run on
// a TSQLServer either as text with the values written in or as a temporary
// procedure (Prepare), its rows kept in a client-side record cache that
// serves all navigation.
//
// Ownership: a query owns its SQL lines, parameters, record cache, update
// settings, master link and blob list. It refers to, without owning, its
// connection component (DataBaseName), its update object and its master data
// source; removal notifications clear those references. It holds at most one
// DB-Library connection at a time, lent by the connection component and given
// back through DropConnection.
//
// Threads: main thread, except that an asynchronous open or execute runs the
// statement in one worker thread; FThreadActive and FCancelAsync are the only
// state handed between the two.
//
// Record buffer (every buffer the framework holds and every cached copy):
//   [0, RecordSize)            one slot per column at FFieldOffsets[col-1]:
//                              flag byte (1 = value), value area of column
//                              size + 1 bytes; a varbinary column's size
//                              counts one byte more than its MaxLength, as
//                              its value area holds the field's own form
//                              (16-bit length, then the bytes)
//   [RecordSize, +CalcFieldsSize)  calculated fields: flag byte + DataSize
//   FBlobSlotsOffset           4 bytes per blob field: a handle of content the
//                              user wrote or a read fetched (0 = none), see
//                              GetBlobData
//   FBookmarkOffset            record id (int32), one reserved byte, the
//                              bookmark flag byte
//   FRecordBufferSize = FBookmarkOffset + 6

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/classes.h"
#include "framework/dataset.h"
#include "framework/datasource.h"
#include "framework/list.h"
#include "framework/params.h"
#include "framework/thread.h"
#include "runtime/SQLServer.h"
#include "runtime/query_update.h"

namespace tessel {

class TTessel;
class LocateIndexes;
class SortedKeys;
namespace records {
class RecordBlocks;
}
namespace values {
struct ColumnShape;
}

namespace detail {
// What a value sent to one column of a table must keep to, as the table's
// catalog tells: the code page of a char, varchar or text column, and the
// length a sized column takes.
struct TColumnLimit {
  std::string Name;
  enum TKind : std::uint8_t { CodePageText, UnicodeText, Bytes } Kind = Bytes;
  int CodePage = 0;  // CodePageText: its collation's (0 when not known)
  int Length = -1;   // in the column's units; -1 without a limit ((max), text, image)
};

// How one column's value goes from the client library's row into its slot,
// worked out once per open from the column and its field.
struct TColumnRead {
  enum TKind : std::uint8_t { Blob, NewerType, DateTime, Text, VarBytes, Fixed, Bytes };
  const TField* Field = nullptr;
  std::int32_t Column = 0;  // 1-based
  std::int32_t Offset = 0;  // of the slot in the record
  std::int32_t Area = 0;    // of the value, after the flag byte
  std::int32_t Length = 0;  // Fixed and Bytes: the bytes a value takes at most
  std::int32_t Type = 0;    // the column's type code
  TKind Kind = Fixed;
};
}  // namespace detail

// What an execution is for: rows to show, an effect, or an update statement.
enum TQueryType : std::uint8_t { qtQuery, qtExecSQL, qtSQLUpdate };

// Options of a query; TOption is the set type of the Options property.
enum TOptionSet : std::uint8_t { ConvertBlankToNull, LocalEdit };
using TOption = TSet<TOptionSet>;

using TMsgNotifyEvent = std::function<void(TObject* Sender, const std::string& aMsg)>;

// What a worker thread runs for a query.
enum TlqAsyncOperation : std::uint8_t { lqOpen, lqExecSQL };
// How an asynchronous operation ended.
enum TlqAsyncOutcome : std::uint8_t { aoNone, aoRunning, aoCompleted, aoFailed, aoCancelled };
// Rows cached so far while a result is being read.
using TlqFetchProgressEvent = std::function<void(TObject* Sender, int RowsSoFar)>;
// The direction of TTessel::SortField.
enum TlqSortOrder : std::uint8_t { soAscending, soDescending };

// How a text or image value is described in its slot.
#pragma pack(push, 1)
struct BlobDescriptor {
  std::uint8_t TextPtr[16];   // as dbtxptr gives it
  std::uint8_t TimeStamp[8];  // as dbtxtimestamp gives it
  std::int32_t DataLength;    // dbdatlen
  // -1: the content is only on the server; 0: nothing written by the user;
  // n > 0: entry n of the query's blob list.
  std::int32_t BlobIndex;
};
#pragma pack(pop)
static_assert(sizeof(BlobDescriptor) == 32, "a blob slot holds exactly 32 descriptor bytes");

// The record cache: owned records of ItemSize bytes, addressed 1..Count. The
// records live in blocks the cache keeps (records/RecordBlocks): a deleted
// record's memory serves the next one, and emptying keeps the memory for the
// next fill.
class TlqBuffers : public TList {
 public:
  TlqBuffers();
  ~TlqBuffers() override;

  // Changed only while the cache is empty.
  int ItemSize = 0;

  // Appends a copy of ItemSize bytes of Source; returns its position.
  int AppendBuffer(const char* Source);
  // A new record, all zero and not yet in the cache, for the caller to fill
  // and then append with AppendRecord or give back with DiscardRecord.
  char* NewRecord();
  // Appends a record from NewRecord, which the cache owns from now on (and
  // releases itself if the append fails); returns its position.
  int AppendRecord(char* Record);
  void DiscardRecord(char* Record) noexcept;
  // Inserts a copy so that it becomes item Index (1 <= Index <= Count + 1).
  void InsertBuffer(int Index, const char* Source);
  // Releases and removes item Index; false when Index is outside 1..Count.
  bool DeleteBuffer(int Index);
  void SetBuffer(int Index, const char* Source);
  // The item itself, not a copy. Index must be within 1..Count.
  char* GetBuffer(int Index) const { return static_cast<char*>(Get(Index - 1)); }
  void ClearBuffers();
  // Reorders the items by the slot at SlotOffset (flag byte, then a value
  // area of SlotArea bytes), compared as the column's type code says; nulls
  // come first in ascending order. Items keep their contents and record ids;
  // items with equal keys end in no particular order. Returns the new
  // position of the item Follow, 0 when it is not in the cache. Keep, when
  // given, receives the sorted keys for searches until the next change.
  int SortBuffer(int ColumnType, int SlotOffset, int SlotArea, TlqSortOrder Order,
                 const char* Follow = nullptr, SortedKeys* Keep = nullptr);
  // Counts every change but an append: an index of positions built at one
  // count is good for positions already covered as long as it stays.
  std::uint64_t Changes() const { return FChanges; }

 private:
  char* NewBlock(const char* Source);
  std::uint64_t FChanges = 0;
  std::unique_ptr<records::RecordBlocks> FRecords;
};

// The tables of a query's text and image columns as read from its SQL text
// and the server's catalog: items of (table name, field name, alias), each
// trimmed and cut to 30 characters. Owns its items; main thread.
class TlqFieldList : public TList {
 public:
  struct Item {
    std::string TableName;
    std::string FieldName;
    std::string Alias;
  };
  TlqFieldList() = default;
  ~TlqFieldList() override;
  TlqFieldList(const TlqFieldList&) = delete;
  TlqFieldList& operator=(const TlqFieldList&) = delete;

  void AddNames(const std::string& FieldName, const std::string& TableName,
                const std::string& Alias);
  // The table of the first item named FieldName (exact case) followed by
  // ".", or "" when there is none.
  std::string FindTableName(const std::string& FieldName) const;
  const Item& Items(int Index) const { return *static_cast<const Item*>(Get(Index)); }
};

// The link to a master data source: reopens the query for the master's record.
class TTesselDataLink : public TDataLink {
 public:
  explicit TTesselDataLink(TTessel* Query) : FQuery(Query) {}

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void RecordChanged(TField* Field) override;

 private:
  TTessel* FQuery;
};

class TTessel : public TDataSet, public TlqServerQuery {
 public:
  explicit TTessel(TComponent* owner);
  ~TTessel() override;

  // --- published properties, in their declared order ----------------------
  bool CacheAllRecords() const { return FCacheAllRecords; }
  void SetCacheAllRecords(bool value) { FCacheAllRecords = value; }
  std::uint32_t CacheMaxRecords() const { return FCacheMaxRecords; }
  void SetCacheMaxRecords(std::uint32_t value) { FCacheMaxRecords = value; }
  // Active: the framework's.
  bool ParamCheck() const { return FParamCheck; }  // default true
  void SetParamCheck(bool value) { FParamCheck = value; }
  TParams* Params() const { return FParams.get(); }
  // Copies the values of Value's parameters onto this list's by name.
  void SetParamsList(const TParams* Value);
  TUpdateParams* UpdateParams() const { return FUpdateParams.get(); }
  // Copies Value's settings; nullptr discards the query's settings.
  void SetUpdateParams(const TUpdateParams* Value);
  TSQLUpdate* UpdateObject() const { return FUpdateObject; }
  void SetUpdateObject(TSQLUpdate* Value);
  // DataSource: the framework's reader; raises SRecursiveDataLink for a
  // source whose master chain leads back to this query.
  void SetDataSource(TDataSource* Value);
  int MaxTimeSlice() const { return FMaxTimeSlice; }  // milliseconds, default 50
  void SetMaxTimeSlice(int value) { FMaxTimeSlice = value; }
  TOption Options() const { return FOptions; }
  void SetOptions(TOption Value);
  const std::string& BlobTableName() const { return FBlobTableName; }
  void SetBlobTableName(const std::string& value) { FBlobTableName = value; }
  TSQLServer* DataBaseName() const { return FDataBaseName; }
  void SetSQLServer(TSQLServer* Value);
  TStrings* SQL() const { return FSQL.get(); }
  void SetSQL(const TStrings* Value);
  TNotifyEvent OnThreadReady;
  TMsgNotifyEvent OnThreadMsg;
  TDataSetErrorEvent OnUpdateError;
  TDataSetErrorEvent OnDuplicateKey;

  // --- statements -------------------------------------------------------------
  // Runs the SQL text for its effect on the base connection.
  void ExecSQL();
  // Sends the statement (as text, or as a call of the prepared procedure) and
  // steps through its results up to the first one with rows. Errors of later
  // statements are raised together, once, as one ElqSQLError.
  void InternalExecSQL(TQueryType QueryType);
  // Calls the prepared procedure (preparing first) with the current values.
  void ExecProc();
  bool Prepared() const { return FPrepared; }
  // The temporary procedure's name ("" when none was made).
  const std::string& ProcName() const { return FProcName; }
  void SetPrepared(bool Value);
  void Prepare() { DoPrepare(true); }
  void Unprepare() { DoPrepare(false); }
  // Drops the temporary procedure and gives the connection back.
  void Disconnect();
  // Rows affected by the last batch; -1 while one is being started.
  int RowsAffected() const { return FRowsAffected; }
  TParam* ParamByName(const std::string& Value) const { return FParams->ParamByName(Value); }

  // --- SQL text and parameters ---------------------------------------------
  // Appends one parameter per marker of Value to List (nullptr: parse only).
  static void CreateParams(TParams* List, const char* Value);
  // The SQL text with the parameter values written in.
  std::string InsertParams(const std::string& SQL);
  // The "Data" property: opaque bytes kept for the form file.
  bool HasBinaryData() const { return FParamData != nullptr; }
  void ReadBinaryData(TStream& Stream);
  void WriteBinaryData(TStream& Stream) const;

  // --- posting ---------------------------------------------------------------
  // Generates and runs the statement for one kind of change of the current
  // record from UpdateParams, through a short-lived statement query whose
  // master is this query (":name" new value, ":OLD_name" old value).
  void InternalUpdate(TUpdateKind UpdateKind);
  // The lines InternalUpdate sends for UpdateKind; none when nothing is to be
  // sent (no update column, or none changed).
  void BuildUpdateSQL(TUpdateKind UpdateKind, TStrings* Lines);
  // A write that changed no row: offers SUpdateFailed to OnUpdateError, then
  // raises it (silently when the handler answered daAbort). The table, when
  // known, is named in the message.
  [[noreturn]] void NoRowsAffected(const std::string& TableName);
  // A statement query kept between writes may still hold a base connection
  // that the server gave up when a transaction ended; it moves to the current
  // one, so that its next statement runs in the server's transaction.
  void FollowBaseConnection();
  // A statement run for a post ends with a query of @@ROWCOUNT: with counts
  // switched off (SET NOCOUNT ON, in the session, a procedure or a trigger)
  // the server reports none, and a write that changed nothing must still be
  // told from one that changed its row.
  void SetReportsRowCount(bool Value) { FReportsRowCount = Value; }
  // Refuses, before anything is sent, a new value of any of Fields that the
  // column of Table of the field's name cannot hold whole: text with a
  // character the code page of a char, varchar or text column lacks (naming
  // field, character and code page), and text or bytes longer than a sized
  // column takes, which the server would cut (naming field, column length
  // and value length).
  void CheckCodePageText(const std::string& Table, const std::vector<TField*>& Fields);

  // --- master-detail --------------------------------------------------------
  void SetParamsFromCursor();
  void RefreshParams();

  // --- record cache -----------------------------------------------------------
  // Reads up to 301 further rows within MaxTimeSlice; returns how many.
  int ReadAhead();
  // The buffer field access works on in the current state.
  bool GetActiveRecBuf(TRecordBuffer& RecBuf);
  // Rejects a missing value of a required field (SFieldRequired).
  virtual void VerifyField(TField* Field, const void* Data);

  // The framework's field access.
  bool GetFieldData(const TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  // The content written to a blob field of Buffer ("" when none); Set stores
  // it only in the framework's active buffer.
  std::string GetBlobData(const TField* Field, TRecordBuffer Buffer) const;
  void SetBlobData(const TField* Field, TRecordBuffer Buffer, const std::string& Value);

  // --- text and image columns ----------------------------------------------
  // A stream over the content of a text or image field (TBlobStream).
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  // The column qualified by its table ("orders.note"): BlobTableName when
  // set, otherwise the table resolved from the SQL text and the catalog; the
  // bare name when no table was found.
  std::string LongFieldName(const std::string& FieldName);
  // Builds the list of tables of the text and image fields afresh.
  void CreateBlobFieldList();
  // The list built by CreateBlobFieldList; nullptr until first needed and
  // after every change of the SQL text.
  const TlqFieldList* FieldList() const { return FFieldList.get(); }

  // --- finding and ordering records -----------------------------------------
  // Searches the cache from its first record, reading further rows from the
  // server while none matches, and makes the first match current. Keys are
  // compared by value (a search for Null finds a null field); text keys
  // follow the options. Unknown fields, text and image keys, a key count that
  // does not match the fields and values that do not convert raise
  // EDatabaseError before the cursor moves.
  bool Locate(const std::string& KeyFields, const Variant& KeyValues,
              TLocateOptions Options) override;
  // The value(s) of ResultFields in the first record whose keys equal
  // KeyValues exactly, or Null; the cursor stays where it was.
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                 const std::string& ResultFields) override;
  // Reorders the cache of a fully read result by one field (name matched
  // without regard to case and surrounding blanks); the current record stays
  // current and bookmarks stay valid. A name that matches no field does
  // nothing. Raises SSortFieldError unless every row has been read.
  void SortField(const std::string& FieldName, TlqSortOrder Order);

  void SetRecNo(int Value) override;
  int CompareBookmarks(const char* Bookmark1, const char* Bookmark2) override;

  // --- layout, for the other parts of the query and for tests ---------------
  int RecordSize() const { return FRecordSize; }
  int FieldOffset(int FieldNo) const { return FFieldOffsets.at(FieldNo - 1); }
  int ColumnType(int FieldNo) const { return FColumnTypes.at(FieldNo); }
  // The result column's name as the server gave it ("Field<n>" for a column
  // without one); a field of a repeated name is called name_1, name_2 ...
  const std::string& ColumnName(int FieldNo) const { return FColumnNames.at(FieldNo - 1); }
  int RecordBufferSize() const { return FRecordBufferSize; }
  int BookmarkOffset() const { return FBookmarkOffset; }
  int BlobSlotsOffset() const { return FBlobSlotsOffset; }
  int CurrentIndex() const { return FCurrentIndex; }
  bool AllFetched() const { return FAllFetched; }
  const TlqBuffers& RecordCache() const { return FRecordCache; }
  TStringList* BlobList() const { return FBlobList.get(); }
  PDBPROCESS DBProcess() const { return FDBProcess; }

  // --- asynchronous work -----------------------------------------------------
  // AsyncOpen and AsyncExec run the open or ExecSQL in a TQryThread and return
  // at once; the end is reported in the main thread: OnThreadReady after a
  // completed (or cancelled) operation, OnThreadMsg with "Class: message."
  // after a failure; AsyncOutcome tells which. Both are ignored while the
  // query is open or an operation runs; with CacheAllRecords they raise
  // SAsyncOpenError. Main thread only.
  void AsyncOpen();
  void AsyncExec();
  // Stops a running operation (the server is told to cancel the statement),
  // waits for the worker to let go of the query, then closes it.
  void AsyncClose();
  // The framework's Close, after stopping a running operation the same way:
  // the framework would otherwise see a query still being opened as closed.
  void Close();
  // The end of a completed operation, run in the main thread.
  void DoThreadReady();
  // Hands a failure text to OnThreadMsg, in the main thread.
  void DoThreadMsg(const std::string& aMsg);
  // How the last asynchronous operation ended; aoRunning while one runs.
  TlqAsyncOutcome AsyncOutcome() const { return FAsyncOutcome; }
  // The server's message number when the last asynchronous operation failed
  // on a server message (208 for an unknown object), otherwise 0; windows
  // show it beside the text.
  int AsyncErrorCode() const { return FAsyncErrorCode; }
  // An asynchronous open also reads every row into the record cache, in the
  // worker, stopping between rows when asked to. Default false.
  bool AsyncFetchAll() const { return FAsyncFetchAll; }
  void SetAsyncFetchAll(bool value) { FAsyncFetchAll = value; }
  // Called in the main thread while rows are read into the record cache,
  // with the number of rows cached so far: at most every 1,000 rows or
  // 100 ms, and once more when an asynchronous full read ends.
  TlqFetchProgressEvent OnFetchProgress;

  // State shared with the worker thread.
  std::atomic<bool> FThreadActive{false};
  std::atomic<bool> FCancelAsync{false};

  // --- TlqServerQuery ---------------------------------------------------------
  void CloseQueryCursor() override;
  bool QueryPrepared() const override { return FPrepared; }
  PDBPROCESS QueryConnection() const override { return FDBProcess; }
  void UnPrepareQuery() override { Unprepare(); }
  void DetachFromServer() override { SetSQLServer(nullptr); }

  // Most columns of a result the query accepts.
  static constexpr int kMaxColumns = 512;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  TDataSource* GetDataSource() const override { return FDataLink->DataSource(); }
  void ClearCalcFields(TRecordBuffer Buffer) override;
  int GetRecordCount() override;
  int GetRecNo() override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, char* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  std::uint16_t GetRecordSize() override { return static_cast<std::uint16_t>(FRecordSize); }
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalClose() override;
  void InternalDelete() override;
  void InternalFirst() override;
  void InternalGotoBookmark(const char* Bookmark) override;
  void InternalHandleException() override {}
  void InternalInitFieldDefs() override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void InternalLast() override;
  void InternalOpen() override;
  // Writes the edited or inserted record (UpdateObject, generated statement,
  // or the cache alone with LocalEdit), then the cache takes it.
  void InternalPost() override;
  void InternalCancel() override {}
  bool GetCanModify() override;
  // OnNewRecord, then the fields' DefaultExpression literals.
  void DoOnNewRecord() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  bool IsCursorOpen() override { return FCursorOpen; }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void SetBookmarkData(TRecordBuffer Buffer, const char* Data) override;

  // Reads the row dbnextrow just delivered into a new record appended to the
  // cache under the next record id; copies it into Buffer when given.
  bool GetRecordData(TRecordBuffer Buffer);
  // The search of Locate: leaves FCurrentIndex on the match when found.
  // SyncCursor is accepted for callers that pass it and not used.
  bool LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                    bool SyncCursor);
  void QueryChanged(TObject* Sender);
  void DoPrepare(bool Value);

 private:
  friend class TTesselDataLink;

  friend class TQryThread;

  // Asynchronous work (worker side and the waits of the main thread).
  void StartAsync(TlqAsyncOperation Operation);
  void StopAsync();
  TlqAsyncOutcome RunAsync(TlqAsyncOperation Operation);
  bool FetchAllAsync();
  void ReleaseAsyncConnection();
  void EndAsync();
  void Notify(const std::function<void()>& Method);
  // Reports progress when due; the worker's own rows only when Worker.
  void NoteFetchProgress(bool Worker = false);
  void ReportFetchProgress(int Rows);

  // Posting helpers.
  void TrimStringFields();
  void WriteRecord(TUpdateKind UpdateKind);
  void CheckUpdateSettings(TUpdateKind UpdateKind) const;
  // The same for the update table and the fields the statement writes.
  void CheckCodePageText(TUpdateKind UpdateKind);
  // The update table's character and binary columns, from its catalog.
  const std::vector<detail::TColumnLimit>& ColumnLimits(const std::string& Table);
  bool FieldChanged(const std::string& Name) const;
  void BuildInsertSQL(TStrings* Lines) const;
  void BuildModifySQL(TStrings* Lines) const;
  void BuildDeleteSQL(TStrings* Lines) const;
  void BuildWhereSQL(TStrings* Lines) const;

  void ChooseConnection(TQueryType QueryType);
  void SendBatch(TQueryType QueryType, bool& Cancelled);
  bool CallProcedure();
  void MoveConnection(bool Shared);
  void ReadResults(bool Settle);
  bool SkipRows();
  // Reads the rows of the @@ROWCOUNT query that ends a post's statement.
  bool ReadRowCount();
  // The SQL text as sent or made into a procedure.
  std::string StatementText() const;
  void DropProcedure();
  void CreateProcedure();
  void DescribeColumns();
  void DescribeEveryColumn();
  void LayoutRecord();
  void FillCache();
  TGetResult FetchNextRow(TRecordBuffer Buffer);
  void ReadBlobColumn(const TField* Field, char* Slot);
  void PlanColumnReads();
  void ReadValueColumn(const detail::TColumnRead& Read, char* Slot);
  static void ReadVarBytes(const std::uint8_t* Data, int Available, char* Value, int Area);
  double ReadDateTime(int Column, const std::uint8_t* Data, int Length) const;
  void ReadFieldValue(const TField* Field, const char* Slot, void* Dest) const;
  values::ColumnShape ShapeOf(int FieldNo) const;
  void WriteFieldValue(TField* Field, char* Slot, const void* Source);
  void WriteBlobValue(TField* Field, char* Slot, const void* Source);
  int NextServerRow();
  struct SearchKey;
  std::vector<SearchKey> SearchKeys(const std::string& KeyFields, const Variant& KeyValues,
                                    TLocateOptions Options);
  SearchKey MakeSearchKey(TField* Field, const Variant& Value, TLocateOptions Options) const;
  bool SlotMatches(const SearchKey& Key, const char* Record) const;
  bool ShownValueEquals(const SearchKey& Key, const char* Value) const;
  double ShownNumber(const SearchKey& Key, const char* Value) const;
  int ScanCache(const std::vector<SearchKey>& Keys, int From) const;
  // The position of the cached record with the bookmark's id; 0 when none.
  int BookmarkPosition(const char* Bookmark) const;
  // The position of the first cached record that matches Keys, 0 when none
  // does; Record, when given, receives the record when the search knew it
  // without the cache's list (nullptr otherwise).
  int FindRecord(const std::vector<SearchKey>& Keys, const char** Record = nullptr);
  // Looks Keys up in the cached records through a key index, building or
  // extending it as repeated searches ask for one. False when no index
  // serves these keys (yet): the caller scans. Otherwise Position is the
  // first cached record that matches, 0 when none does, and Record (when
  // given) that record.
  bool IndexedFind(const std::vector<SearchKey>& Keys, int& Position,
                   const char** Record = nullptr);
  void AppendRecordKey(const SearchKey& Key, const char* Record, std::string& Out) const;
  // The same for a partial key on one text field, through a prefix index.
  bool PrefixFind(const SearchKey& Key, int& Position);
  // The same for one exact key on the field the cache was last sorted by,
  // through the keys the sort kept: no walk over the records.
  bool SortedFind(const SearchKey& Key, int& Position) const;
  // Lookup of one number Key for one Result field through a table of
  // answers, made as a key index is once the same Lookup comes again: false
  // when none serves (yet), and the caller searches; otherwise Answer holds
  // the result (Null when no row holds the key).
  bool AnsweredLookup(const SearchKey& Key, const TField* Result, Variant& Answer);
  void LeaveServer();
  friend class TBlobStream;
  // Content read from the server for the record in Buffer: kept in the slot
  // under one handle per record and field, so reading again replaces it.
  void StoreReadBlob(const TField* Field, TRecordBuffer Buffer, std::string&& Value);
  // Content read from the server earlier for the record of Buffer (by its
  // record id), or nullptr. A posted change of the field goes to the blob
  // list, so what was read stays the server's content while open.
  const std::string* ReadBlobOfRecord(const TField* Field, TRecordBuffer Buffer) const;
  // The slot's content without a copy; an empty string when none.
  const std::string& BlobContent(const TField* Field, TRecordBuffer Buffer) const;
  void ClearBlobSlots(TRecordBuffer Buffer) const;
  char* BlobSlot(const TField* Field, TRecordBuffer Buffer) const {
    return Buffer + FBlobSlotsOffset + 4 * Field->Offset();
  }
  int RecordCountHeld() const { return FRecordCache.Count(); }

  TSQLServer* FDataBaseName = nullptr;
  std::unique_ptr<TStringList> FSQL;
  PDBPROCESS FDBProcess = nullptr;
  std::unique_ptr<TParams> FParams;
  TlqBuffers FRecordCache;
  std::unique_ptr<LocateIndexes> FLocateIndexes;
  TRecordBuffer FFilterBuffer = nullptr;
  std::vector<std::int32_t> FFieldOffsets;
  std::int32_t FRecordSize = 0;
  std::int32_t FRecordBufferSize = 0;
  std::int32_t FBookmarkOffset = 0;
  std::uint16_t FBlobSlotsOffset = 0;
  std::int32_t FCurrentIndex = -1;
  std::int32_t FLastRecordId = 0;
  bool FAllFetched = false;
  std::unique_ptr<std::vector<std::uint8_t>> FParamData;
  TSQLUpdate* FUpdateObject = nullptr;
  std::int32_t FRowsAffected = 0;
  bool FReportsRowCount = false;
  // The @@ROWCOUNT the last batch ended with; -1 when none was read.
  std::int64_t FReportedRowCount = -1;
  bool FCacheAllRecords = false;
  std::unique_ptr<TTesselDataLink> FDataLink;
  bool FParamCheck = true;
  bool FPrepared = false;
  std::string FProcName;
  std::unique_ptr<TStringList> FBlobList;
  int FMaxTimeSlice = 50;
  std::array<std::int32_t, kMaxColumns + 1> FColumnTypes{};
  TOption FOptions;
  std::uint32_t FCacheMaxRecords = 0;
  bool FCursorOpen = false;
  std::string FBlobTableName;
  std::unique_ptr<TUpdateParams> FUpdateParams;

  // Column size per column (the slot holds it + 2 bytes); MaxLength + 1 for
  // varbinary, whose value area holds a 16-bit length and the bytes.
  std::vector<std::int32_t> FColumnSizes;
  // Precision and scale per column, for decimal values of new records.
  std::vector<std::pair<std::uint8_t, std::uint8_t>> FColumnShapes;
  // Per update table (upper case): the limits of its columns.
  std::map<std::string, std::vector<detail::TColumnLimit>> FColumnLimits;
  // Set at open, in the order of the fields.
  std::vector<detail::TColumnRead> FColumnReads;
  // Per column, the name the server gave it (see ColumnName).
  std::vector<std::string> FColumnNames;
  // A statement was sent and its result not yet given up.
  bool FResultPending = false;
  // Content the user wrote into blob fields, addressed by the handles in the
  // blob slots (handle n is entry n - 1). Copies of a buffer share handles;
  // the contents live until close.
  std::vector<std::string> FBlobContents;
  // Handles of content read from the server, by record id and blob index.
  std::map<std::pair<std::int32_t, int>, std::uint32_t> FReadBlobHandles;
  std::unique_ptr<TlqFieldList> FFieldList;

  // Set by AsyncOpen/AsyncExec before the worker exists, cleared in the main
  // thread by the worker's last notification: from then on the worker no
  // longer touches the query, so closing and destruction may go on.
  std::atomic<bool> FWorkerAttached{false};
  // The connection the worker is reading rows from at this moment, for the
  // main thread to give up that wait when a stop request goes unheeded.
  std::atomic<PDBPROCESS> FWorkerWaitingOn{nullptr};
  // Set first thing in the destructor (main thread): the notifications the
  // worker still delivers while the destructor waits for it reach nobody.
  bool FQueryDestroying = false;
  // Written by the main thread only.
  TlqAsyncOutcome FAsyncOutcome = aoNone;
  int FAsyncErrorCode = 0;
  bool FAsyncFetchAll = false;
  // Main thread only: a notification of this query's worker is running, so a
  // close asked for by its handler must not wait for the worker.
  int FInNotification = 0;
  // Progress of the rows being read: written by the thread that reads them.
  int FProgressRows = 0;
  std::int64_t FProgressAtMs = 0;
};

// The worker thread of one asynchronous operation. It frees itself when done
// and reports to the main thread through Synchronize; the query it works on
// is not owned and stays alive until the worker's last notification ran.
class TQryThread : public TThread {
 public:
  TQryThread(TTessel* Query, TlqAsyncOperation Operation);

 protected:
  void Execute() override;

 private:
  void ThreadReady();
  void DisplayMessage();
  void ReportFailure(const std::string& ClassName, const std::string& Message);

  TTessel* FQuery;
  TlqAsyncOperation FOperation;
  std::string FMessage;
  int FErrorCode = 0;  // the server's message number, when the failure was one
  TlqAsyncOutcome FOutcome = aoCompleted;
};

}  // namespace tessel

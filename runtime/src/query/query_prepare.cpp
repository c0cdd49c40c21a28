// Prepared statements: the SQL text as a temporary stored procedure, created
// with CREATE PROCEDURE and called by remote procedure call with the current
// parameter values as typed arguments.

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "framework/sysutils.h"
#include "framework/thread.h"
#include "query/sql_markers.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "values/literals.h"
#include "values/text_encoding.h"

namespace tessel {
namespace {

constexpr int kNoMoreResults = 2;
constexpr int kRpcRecompile = 1;
constexpr int kProcedureCallPollMs = 5;
constexpr int kSQLCHAR = 47;
constexpr int kSQLVARBINARY = 37;
constexpr int kSQLIMAGE = 34;
// The protocol's nvarchar and ntext: the client library converts the value
// from UTF-8 and sends it as Unicode.
constexpr int kSQLNVARCHAR = 231;
constexpr int kSQLNTEXT = 99;
// The longest values nvarchar and varbinary parameters carry.
constexpr std::size_t kLongestNVarChar = 4000;
constexpr std::size_t kLongestVarBinary = 8000;

void DrainResults(PDBPROCESS process) {
  int r;
  do {
    r = dbresults(process);
  } while (r != kNoMoreResults && r != FAIL);
}

// Adds one parameter to the procedure call. The client library keeps a pointer
// to the value until the call is sent, so the buffer goes to `values`, which
// the caller keeps until after dbrpcsend.
void SendParameter(PDBPROCESS process, const TParam& param,
                   std::vector<std::vector<std::uint8_t>>& values) {
  const TFieldType type = param.DataType();
  const bool binary = values::IsBinaryType(type);
  int token = FieldTypeToDBType(type);
  DBINT max_length = -1;
  DBINT length = -1;
  std::vector<std::uint8_t> value;
  const auto take_text = [&](const std::string& text) {
    value.assign(text.begin(), text.end());
    length = static_cast<DBINT>(text.size());
  };
  if (binary || values::IsTextType(type)) max_length = 0;
  if (param.IsNull()) {
    // A null of a type the server converts into any declared one (binary
    // types do not convert from character ones).
    token = binary ? kSQLVARBINARY : kSQLCHAR;
    max_length = 0;
    length = 0;
  } else if (type == ftDateTime || type == ftDate || type == ftTime || type == ftLargeint ||
             type == ftBCD || type == ftCurrency) {
    // Sent as the exact text the server converts into the declared type:
    // the client library's own conversions of these go through doubles or
    // stop at 32 bits. The literal's quotes are not part of the value.
    std::string text = values::SqlLiteral(param);
    if (text.size() >= 2 && text.front() == '\'') text = text.substr(1, text.size() - 2);
    token = kSQLCHAR;
    max_length = 0;
    take_text(text);
  } else if (values::IsTextType(type)) {
    // UTF-8 that the client library converts to UTF-16 for the Unicode
    // declaration; past nvarchar's 4,000 characters as ntext.
    const std::string text = param.AsString();
    const values::TextProblem problem = values::FindTextProblem(text, values::kUnicode);
    if (problem.Kind != values::TextFault::None) {
      DatabaseError(Format("Parameter '%s' is not valid UTF-8 (byte %d)",
                           {param.Name(), static_cast<int>(problem.Offset) + 1}));
    }
    token = values::CodePointCount(text) > kLongestNVarChar ? kSQLNTEXT : kSQLNVARCHAR;
    take_text(text);
  } else if (binary) {
    const std::string bytes = values::BinaryValue(param);
    value.assign(bytes.begin(), bytes.end());
    length = static_cast<DBINT>(value.size());
    token = value.size() > kLongestVarBinary ? kSQLIMAGE : kSQLVARBINARY;
  } else {
    const int size = param.DataSize();
    value.assign(static_cast<std::size_t>(size), 0);
    param.GetData(value.data());
  }
  const std::string name = "@" + param.Name();
  // An empty value is not a null one: it is passed with a place to point at.
  if (!param.IsNull() && value.empty()) value.push_back(0);
  values.push_back(std::move(value));
  CheckDBResult(dbrpcparam(process, name.c_str(), 0, token, max_length, length,
                           param.IsNull() ? nullptr : values.back().data()));
}

}  // namespace

void TTessel::DoPrepare(bool Value) {
  if (!FPrepared && !Value) return;
  if (FDataBaseName == nullptr) RaiseDatabaseError(Format(SUndefinedSQLServer.str(), {Name()}));
  // A procedure made on a former base connection would run outside any
  // transaction started since: it is made on the current one.
  if (!FPrepared && FDataBaseName->IsFormerBase(FDBProcess)) {
    FDataBaseName->CloseConnection(FDBProcess);
  }
  if (FDBProcess == nullptr) FDBProcess = FDataBaseName->GetConnection(this, true);
  if (FPrepared && !Value) {
    DropProcedure();
  } else if (!FPrepared && Value) {
    CreateProcedure();
  }
}

void TTessel::DropProcedure() {
  const std::string command = "DROP PROCEDURE " + FProcName;
  dbcmd(FDBProcess, command.c_str());
  if (dbsqlexec(FDBProcess) != FAIL) DrainResults(FDBProcess);
  FPrepared = false;
  FProcName.clear();
}

void TTessel::CreateProcedure() {
  FProcName = FDataBaseName->GetProcname();
  // A command left half-built by an earlier failed prepare must not prefix this one.
  dbfreebuf(FDBProcess);
  const std::string head = "CREATE PROCEDURE " + FProcName + " ";
  dbcmd(FDBProcess, head.c_str());
  TStringList declared;
  for (int i = 0; i < FParams->Count(); ++i) {
    const TParam* param = FParams->Items(i);
    if (param->DataType() == ftUnknown) {
      dbfreebuf(FDBProcess);
      RaiseDatabaseError(Format(SFieldUndefinedType.str(), {param->Name()}));
    }
    if (declared.IndexOf(param->Name()) >= 0) continue;
    declared.Add(param->Name());
    std::string declaration;
    try {
      declaration = "@" + param->Name() + " " + values::DeclaredType(*param);
    } catch (...) {
      dbfreebuf(FDBProcess);
      throw;
    }
    if (i > 0) declaration = ", " + declaration;
    dbcmd(FDBProcess, declaration.c_str());
  }
  // Markers become the procedure's variables; a colon anywhere else (in a
  // literal, a time, a "::" escape) is left as it is.
  const std::string text = StatementText();
  std::string body;
  std::size_t copied = 0;
  if (FParams->Count() > 0) {
    for (const Marker& marker : ScanMarkers(text)) {
      body.append(text, copied, marker.begin - copied);
      body += "@" + marker.name;
      copied = marker.end;
    }
  }
  body.append(text, copied, std::string::npos);
  dbcmd(FDBProcess, (" AS " + body).c_str());
  CheckDBResult(dbsqlexec(FDBProcess));
  CheckDBResult(dbresults(FDBProcess));
  DrainResults(FDBProcess);
  FPrepared = true;
}

// Unlike a call made for an open, nobody reads this call's results: they are
// read here, so that the connection is left without pending results.
void TTessel::ExecProc() {
  if (CallProcedure()) ReadResults(true);
}

// False when an asynchronous stop request ended the wait for the answer.
bool TTessel::CallProcedure() {
  if (DataSource() != nullptr) SetParamsFromCursor();
  if (!FPrepared) Prepare();
  dbcancel(FDBProcess);
  std::vector<const TParam*> passing;
  TStringList passed;
  bool empty_value = false;
  for (int i = 0; i < FParams->Count(); ++i) {
    const TParam* param = FParams->Items(i);
    if (param->DataType() == ftUnknown || passed.IndexOf(param->Name()) >= 0) continue;
    passed.Add(param->Name());
    passing.push_back(param);
    const TFieldType type = param->DataType();
    const bool sized = values::IsTextType(type) || values::IsBinaryType(type);
    empty_value = empty_value || (sized && !param->IsNull() && param->DataSize() == 0);
  }
  std::vector<std::vector<std::uint8_t>> values;
  if (empty_value) {
    // A procedure call passes a value of no bytes as null: a call holding an
    // empty string or binary goes as an EXEC with the values written in.
    std::string call = "EXEC " + FProcName;
    for (std::size_t i = 0; i < passing.size(); ++i) {
      call +=
          (i == 0 ? " @" : ", @") + passing[i]->Name() + " = " + values::SqlLiteral(*passing[i]);
    }
    dbfreebuf(FDBProcess);
    dbcmd(FDBProcess, call.c_str());
    CheckDBResult(dbsqlsend(FDBProcess));
  } else {
    CheckDBResult(dbrpcinit(FDBProcess, FProcName.c_str(), kRpcRecompile));
    values.reserve(passing.size());
    for (const TParam* param : passing) SendParameter(FDBProcess, *param, values);
    CheckDBResult(dbrpcsend(FDBProcess));
  }
  while (!dbdataready(FDBProcess)) {
    if (FCancelAsync) {
      dbcancel(FDBProcess);
      FThreadActive = false;
      return false;
    }
    Sleep(kProcedureCallPollMs);
  }
  CheckDBResult(dbsqlok(FDBProcess));
  return true;
}

}  // namespace tessel

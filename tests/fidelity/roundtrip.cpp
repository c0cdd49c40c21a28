#include "roundtrip.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "framework/decimal.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "framework/params.h"
#include "runtime/Tessel.h"
#include "runtime/query_update.h"
#include "server_process.h"

namespace tessel::fidelity {
namespace {

// Every path writes its values to the keys path * 1000 + value index.
enum Path { kInsert = 1, kChanged, kKeyOnly, kWhereAll, kObject, kExec, kPrepared };
const char* const kPathNames[] = {"",
                                  "generated INSERT",
                                  "generated UPDATE upWhereChanged",
                                  "generated UPDATE upWhereKeyOnly",
                                  "generated UPDATE upWhereAll",
                                  "update object",
                                  "ExecSQL with parameters",
                                  "Prepare then ExecSQL"};
constexpr int kPathCount = 7;

using Text = std::optional<std::string>;

std::string Shown(const Text& text) {
  return text ? "'" + Printable(*text) + "'" : std::string("NULL");
}

std::string Describe(const Exception& e) {
  return e.ClassName() + ": " + e.Message();
}

// What a field shows: AsString, or all 17 digits of a float.
Text FieldText(const TField* field) {
  if (field->IsNull()) return std::nullopt;
  if (field->DataType() == ftFloat) {
    char digits[40];
    std::snprintf(digits, sizeof digits, "%.17g", field->AsFloat());
    return std::string(digits);
  }
  return field->AsString();
}

void AssignField(TField* field, const FidelityValue& value) {
  switch (value.given) {
    case FidelityValue::Null:
      field->Clear();
      break;
    case FidelityValue::Number:
      field->SetAsFloat(value.number);
      break;
    case FidelityValue::Text:
      field->SetAsString(value.text);
      break;
  }
}

void AssignParam(TParam& param, const FidelityColumn& column, const FidelityValue& value) {
  static const TFieldType kTypes[] = {ftString, ftMemo, ftBlob, ftVarBytes, ftUnknown, ftBCD};
  TFieldType type = kTypes[static_cast<int>(column.param)];
  if (type == ftUnknown) type = column.paramType;
  if (value.given == FidelityValue::Null) {
    param.SetDataType(type);
    param.Clear();
    return;
  }
  if (value.given == FidelityValue::Number) {
    param.SetAsFloat(value.number);
    return;
  }
  switch (column.param) {
    case ParamKind::Text:
      param.SetAsString(value.text);
      break;
    case ParamKind::Memo:
      param.SetAsMemo(value.text);
      break;
    case ParamKind::Blob:
      param.SetAsBlob(value.text);
      break;
    case ParamKind::Bytes:
      param.SetAsBytes(TBytes(value.text.begin(), value.text.end()));
      break;
    case ParamKind::Bcd:
      param.SetAsBCD(Decimal::FromString(value.text));
      break;
    case ParamKind::Typed:
      param.SetDataType(type);
      param.SetText(value.text);
      break;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::runtime_error(std::string("not a hex digit: ") + c);
}

// One row written: which value, through which path, what must be there.
struct Row {
  int k = 0;
  const FidelityValue* value = nullptr;
  int path = 0;
  bool absent = false;  // the row must not exist (a refused insert)
  Text expect;          // the package's reading
  Text python;          // the independent client's reading
  std::string failure;  // what went wrong while writing
};

struct PackageRow {
  Text value;
  int o = 0;
};

class Run {
 public:
  Run(TSQLServer& server, const ClientAddress& client, const FidelityColumn& column)
      : server_(server), client_(client), column_(column), table_("fid_" + column.slug) {}

  std::vector<Arrival> Go();

 private:
  void MakeTable();
  void PresetRows(int path);
  std::unique_ptr<TTessel> NewQuery(const std::string& sql) const;
  // The table's rows on writer, written back by statements that compare every column.
  std::unique_ptr<TTessel> OpenWhereAll(TSQLServer& writer) const;
  void ThroughFields(int path);
  std::string WriteField(TTessel& query, const FidelityValue& value) const;
  void ThroughParams(int path);
  std::unique_ptr<TSQLServer> FreshServer() const;
  std::map<int, PackageRow> PackageRead() const;
  std::map<int, Text> SafeIndependentRead(std::string& failure) const;
  void CheckArrivals(std::vector<Arrival>& out);
  void RewriteUnchanged(std::vector<Arrival>& out);
  void DeleteAll(std::vector<Arrival>& out);
  Arrival Report(const Row& row, const std::string& path, std::string failure) const {
    return Arrival{path, row.value->label, failure.empty(), std::move(failure)};
  }

  TSQLServer& server_;
  const ClientAddress& client_;
  const FidelityColumn& column_;
  const std::string table_;
  std::vector<Row> rows_;
  // The server's content after the writes, as the package and the client read it.
  std::map<int, PackageRow> package_;
  std::map<int, Text> python_;
};

std::vector<Arrival> Run::Go() {
  MakeTable();
  for (int path = kInsert; path <= kObject; ++path) ThroughFields(path);
  ThroughParams(kExec);
  ThroughParams(kPrepared);
  std::vector<Arrival> out;
  CheckArrivals(out);
  RewriteUnchanged(out);
  DeleteAll(out);
  return out;
}

void Run::MakeTable() {
  server_.InternalExecute("IF OBJECT_ID('" + table_ + "') IS NOT NULL DROP TABLE " + table_);
  server_.InternalExecute("CREATE TABLE " + table_ + " (k int NOT NULL PRIMARY KEY, " +
                          kValueField + " " + column_.type + " NULL, o int NULL)");
}

void Run::PresetRows(int path) {
  std::string sql = "INSERT INTO " + table_ + " (k, " + kValueField + ", o) VALUES ";
  for (std::size_t i = 0; i < column_.values.size(); ++i) {
    sql +=
        (i == 0 ? "(" : ", (") + std::to_string(path * 1000 + static_cast<int>(i)) + ", NULL, 0)";
  }
  server_.InternalExecute(sql);
}

std::unique_ptr<TTessel> Run::NewQuery(const std::string& sql) const {
  auto query = std::make_unique<TTessel>(nullptr);
  query->SetSQLServer(&server_);
  query->SetCacheAllRecords(true);
  query->SQL()->SetText(sql);
  return query;
}

// Generated statements and the update object: the user assigns the field
// and posts.
void Run::ThroughFields(int path) {
  const int first = path * 1000;
  if (path != kInsert) PresetRows(path);
  std::unique_ptr<TSQLUpdate> update;  // outlives the query that uses it
  std::unique_ptr<TTessel> query =
      NewQuery("SELECT k, " + std::string(kValueField) + ", o FROM " + table_ + " WHERE k >= " +
               std::to_string(first) + " AND k < " + std::to_string(first + 1000) + " ORDER BY k");
  if (path == kObject) {
    update = std::make_unique<TSQLUpdate>(nullptr);
    update->ModifySQL()->SetText("UPDATE " + table_ + " SET " + kValueField + " = :" + kValueField +
                                 " WHERE k = :OLD_k");
    query->SetUpdateObject(update.get());
  } else {
    TUpdateParams* settings = query->UpdateParams();
    settings->SetTableName(table_);
    settings->KeyFields()->Add("k");
    settings->UpdateFields()->SetText("k\n" + std::string(kValueField) + "\no");
    settings->SetUpdateMode(path == kKeyOnly    ? upWhereKeyOnly
                            : path == kWhereAll ? upWhereAll
                                                : upWhereChanged);
  }
  query->Open();
  query->First();
  for (std::size_t i = 0; i < column_.values.size(); ++i) {
    const FidelityValue& value = column_.values[i];
    Row row;
    row.k = first + static_cast<int>(i);
    row.value = &value;
    row.path = path;
    const bool refused = !value.refused.empty();
    row.absent = refused && path == kInsert;
    row.expect = refused ? std::nullopt : value.expect;
    row.python = refused ? std::nullopt : value.python ? value.python : value.expect;
    try {
      if (path == kInsert) {
        query->Append();
        query->FieldByName("k")->SetAsInteger(row.k);
        query->FieldByName("o")->SetAsInteger(0);
      } else {
        while (!query->Eof() && query->FieldByName("k")->AsInteger() < row.k) query->Next();
        if (query->Eof() || query->FieldByName("k")->AsInteger() != row.k) {
          throw std::runtime_error("row " + std::to_string(row.k) + " is not in the query");
        }
        query->Edit();
      }
      row.failure = WriteField(*query, value);
    } catch (const Exception& e) {
      row.failure = "raised " + Describe(e);
    } catch (const std::exception& e) {
      row.failure = e.what();
    }
    if (query->State() != dsBrowse) query->Cancel();
    rows_.push_back(row);
  }
}

// What is wrong with a refusal of the value: "" when it is a database or
// conversion error naming the field and the refused part of the value.
std::string RefusalFault(const Exception& e, const FidelityValue& value) {
  if (dynamic_cast<const EDatabaseError*>(&e) == nullptr &&
      dynamic_cast<const EConvertError*>(&e) == nullptr) {
    return "refused with an unexpected class: " + Describe(e);
  }
  if (e.Message().find(kValueField) == std::string::npos) {
    return "the refusal does not name the field: " + e.Message();
  }
  if (e.Message().find(value.refused) == std::string::npos) {
    return "the refusal does not name '" + Printable(value.refused) + "': " + e.Message();
  }
  return "";
}

// Assigns and posts; "" when the value was taken, or refused as it must be:
// at assignment, or at Post when only the column's table tells (the code
// page of a char, varchar or text column). Nothing refused may reach the
// server, which the reading back checks.
std::string Run::WriteField(TTessel& query, const FidelityValue& value) const {
  TField* field = query.FieldByName(kValueField);
  try {
    AssignField(field, value);
  } catch (const Exception& e) {
    if (value.refused.empty()) return "refused at assignment: " + Describe(e);
    return RefusalFault(e, value);
  }
  try {
    query.Post();
  } catch (const Exception& e) {
    if (value.refused.empty()) return "Post raised " + Describe(e);
    const std::string fault = RefusalFault(e, value);
    return fault.empty() ? "" : "Post " + fault;
  }
  return value.refused.empty() ? "" : "accepted and posted as " + Shown(FieldText(field));
}

// INSERT statements with parameters, as text or through the prepared
// procedure (prepared once, run for every value).
void Run::ThroughParams(int path) {
  const int first = path * 1000;
  std::unique_ptr<TTessel> query = NewQuery("INSERT INTO " + table_ + " (k, " + kValueField +
                                            ", o) VALUES (:k, :" + kValueField + ", 0)");
  for (std::size_t i = 0; i < column_.values.size(); ++i) {
    const FidelityValue& value = column_.values[i];
    // A parameter knows no column: the server converts what it is sent.
    if (!value.refused.empty()) continue;
    Row row;
    row.k = first + static_cast<int>(i);
    row.value = &value;
    row.path = path;
    row.expect = value.expect;
    row.python = value.python ? value.python : value.expect;
    try {
      query->ParamByName("k")->SetAsInteger(row.k);
      AssignParam(*query->ParamByName(kValueField), column_, value);
      if (path == kPrepared && !query->Prepared()) query->Prepare();
      query->ExecSQL();
    } catch (const Exception& e) {
      row.failure = "raised " + Describe(e);
    }
    rows_.push_back(row);
  }
}

// Reading, writing back and deleting go through connection components of
// their own, so that a connection the writes left unusable is reported by
// the writes, not by what follows them.
std::unique_ptr<TSQLServer> Run::FreshServer() const {
  auto fresh = std::make_unique<TSQLServer>(nullptr);
  fresh->SetServerName(server_.ServerName());
  fresh->SetUsername(server_.Username());
  fresh->SetPassword(server_.Password());
  fresh->SetDataBaseName(server_.DataBaseName());
  fresh->SetApplicationName(server_.ApplicationName());
  fresh->Open();
  return fresh;
}

std::map<int, PackageRow> Run::PackageRead() const {
  const std::unique_ptr<TSQLServer> reader = FreshServer();
  TTessel query(nullptr);
  query.SetSQLServer(reader.get());
  query.SetCacheAllRecords(true);
  query.SQL()->SetText("SELECT k, " + std::string(kValueField) + ", o FROM " + table_ +
                       " ORDER BY k");
  query.Open();
  std::map<int, PackageRow> rows;
  TField* k = query.FieldByName("k");
  TField* value = query.FieldByName(kValueField);
  TField* o = query.FieldByName("o");
  for (query.First(); !query.Eof(); query.Next()) {
    rows[k->AsInteger()] = PackageRow{FieldText(value), o->IsNull() ? -1 : o->AsInteger()};
  }
  return rows;
}

std::map<int, Text> Run::SafeIndependentRead(std::string& failure) const {
  try {
    return IndependentRead(client_, table_, column_.scale);
  } catch (const std::exception& e) {
    failure = std::string("python-tds could not read the table: ") + e.what();
    return {};
  }
}

void Run::CheckArrivals(std::vector<Arrival>& out) {
  std::string read_failure;
  try {
    package_ = PackageRead();
  } catch (const Exception& e) {
    read_failure = "the fresh read raised " + Describe(e);
  }
  python_ = SafeIndependentRead(read_failure);
  for (const Row& row : rows_) {
    std::string failure = row.failure;
    const auto package = package_.find(row.k);
    const auto python = python_.find(row.k);
    auto note = [&failure](const std::string& text) {
      failure += (failure.empty() ? "" : "; ") + text;
    };
    if (!read_failure.empty()) {
      note(read_failure);
    } else if (row.absent) {
      if (package != package_.end()) note("a refused value reached the server");
    } else if (package == package_.end()) {
      note("no row on the server");
    } else {
      if (package->second.value != row.expect) {
        note("the package reads " + Shown(package->second.value) + ", expected " +
             Shown(row.expect));
      }
      if (python == python_.end() || python->second != row.python) {
        note("python-tds reads " +
             (python == python_.end() ? std::string("no row") : Shown(python->second)) +
             ", expected " + Shown(row.python));
      }
    }
    out.push_back(Report(row, kPathNames[row.path], failure));
  }
}

std::unique_ptr<TTessel> Run::OpenWhereAll(TSQLServer& writer) const {
  std::unique_ptr<TTessel> query =
      NewQuery("SELECT k, " + std::string(kValueField) + ", o FROM " + table_ + " ORDER BY k");
  query->SetSQLServer(&writer);
  TUpdateParams* settings = query->UpdateParams();
  settings->SetTableName(table_);
  settings->KeyFields()->Add("k");
  settings->UpdateFields()->SetText("k\n" + std::string(kValueField) + "\no");
  settings->SetUpdateMode(upWhereAll);
  query->Open();
  return query;
}

// Every row read and posted back with only `o` changed, by statements that
// compare every column: each post must find its row, and every value must
// stay exactly as it was.
void Run::RewriteUnchanged(std::vector<Arrival>& out) {
  const std::string path = "written back unchanged (upWhereAll)";
  const std::unique_ptr<TSQLServer> writer = FreshServer();
  std::unique_ptr<TTessel> query = OpenWhereAll(*writer);
  std::map<int, std::string> failures;
  for (query->First(); !query->Eof(); query->Next()) {
    const int k = query->FieldByName("k")->AsInteger();
    try {
      query->Edit();
      query->FieldByName("o")->SetAsInteger(1);
      query->Post();
    } catch (const Exception& e) {
      failures[k] = "Post raised " + Describe(e);
      query->Cancel();
    }
  }
  query.reset();
  std::string read_failure;
  std::map<int, PackageRow> package;
  try {
    package = PackageRead();
  } catch (const Exception& e) {
    read_failure = "the fresh read raised " + Describe(e);
  }
  const std::map<int, Text> python = SafeIndependentRead(read_failure);
  for (const Row& row : rows_) {
    const auto before = package_.find(row.k);
    if (before == package_.end()) continue;  // reported already
    std::string failure = failures[row.k];
    auto note = [&failure](const std::string& text) {
      failure += (failure.empty() ? "" : "; ") + text;
    };
    const auto after = package.find(row.k);
    if (!read_failure.empty()) {
      note(read_failure);
    } else if (after == package.end()) {
      note("the row is gone");
    } else {
      if (after->second.value != before->second.value) {
        note("the package reads " + Shown(after->second.value) + ", before " +
             Shown(before->second.value));
      }
      if (failures[row.k].empty() && after->second.o != 1) {
        note("Post succeeded but the server still holds o = " + std::to_string(after->second.o));
      }
      const auto was = python_.find(row.k);
      const auto now = python.find(row.k);
      if (was != python_.end() && (now == python.end() || now->second != was->second)) {
        note("python-tds reads " +
             (now == python.end() ? std::string("no row") : Shown(now->second)) + ", before " +
             Shown(was->second));
      }
    }
    out.push_back(Report(row, path + " after " + kPathNames[row.path], failure));
  }
}

// Every row deleted by a statement that compares every column.
void Run::DeleteAll(std::vector<Arrival>& out) {
  const std::string path = "generated DELETE (upWhereAll)";
  const std::unique_ptr<TSQLServer> writer = FreshServer();
  std::unique_ptr<TTessel> query = OpenWhereAll(*writer);
  std::map<int, std::string> failures;
  query->First();
  while (!query->Eof()) {
    const int k = query->FieldByName("k")->AsInteger();
    try {
      query->Delete();
    } catch (const Exception& e) {
      failures[k] = "Delete raised " + Describe(e);
      query->Next();
    }
  }
  query.reset();
  std::map<int, PackageRow> left;
  std::string read_failure;
  try {
    left = PackageRead();
  } catch (const Exception& e) {
    read_failure = "the fresh read raised " + Describe(e);
  }
  for (const Row& row : rows_) {
    if (package_.find(row.k) == package_.end()) continue;
    std::string failure = failures[row.k];
    if (!read_failure.empty()) {
      failure += read_failure;
    } else if (failure.empty() && left.count(row.k) != 0) {
      failure = "Delete succeeded but the row is still on the server";
    }
    out.push_back(Report(row, path + " after " + kPathNames[row.path], failure));
  }
}

}  // namespace

ClientAddress MakeClientAddress(const std::string& server, const std::string& user,
                                const std::string& password, const std::string& database) {
  ClientAddress address{server, 1433, user, password, database.empty() ? "master" : database};
  const std::size_t split = server.find_last_of(":,");
  if (split != std::string::npos) {
    address.host = server.substr(0, split);
    address.port = std::stoi(server.substr(split + 1));
  }
  return address;
}

std::vector<Arrival> RoundTrip(TSQLServer& server, const ClientAddress& client,
                               const FidelityColumn& column) {
  static_assert(sizeof kPathNames / sizeof *kPathNames == kPathCount + 1);
  return Run(server, client, column).Go();
}

std::map<int, std::optional<std::string>> IndependentRead(const ClientAddress& client,
                                                          const std::string& table, int scale) {
  const auto result = sqld::test::runProgram(
      {"/usr/bin/python3", FIDELITY_READBACK_SCRIPT, client.host, std::to_string(client.port),
       client.user, client.database, table, std::to_string(scale)},
      client.password + "\n", 60);
  if (result.exitCode != 0) throw std::runtime_error(result.output);
  std::map<int, std::optional<std::string>> rows;
  std::size_t at = 0;
  while (at < result.output.size()) {
    std::size_t end = result.output.find('\n', at);
    if (end == std::string::npos) end = result.output.size();
    const std::string line = result.output.substr(at, end - at);
    at = end + 1;
    if (line.rfind("ROW ", 0) != 0) continue;
    const std::size_t space = line.find(' ', 4);
    const int k = std::stoi(line.substr(4, space - 4));
    const std::string hex = space == std::string::npos ? "" : line.substr(space + 1);
    if (hex == "NULL") {
      rows[k] = std::nullopt;
      continue;
    }
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes += static_cast<char>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1]));
    }
    rows[k] = bytes;
  }
  return rows;
}

}  // namespace tessel::fidelity

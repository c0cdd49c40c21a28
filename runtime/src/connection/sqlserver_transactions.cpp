// Transactions and direct execution on the base connection, and the names of
// temporary procedures.

#include <string>

#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr int kNoMoreResults = 2;

}  // namespace

bool TSQLServer::InternalExecute(const std::string& SQL) {
  // The base connection is asked for at every step, so one found dead in
  // between is replaced.
  dbcmd(GetBaseProcess(), SQL.c_str());
  CheckDBResult(dbsqlexec(GetBaseProcess()));
  // Every result is read to its end: rows left pending would make the next
  // statement of anyone sharing the base connection fail.
  PDBPROCESS base = GetBaseProcess();
  for (int r = dbresults(base); r != kNoMoreResults; r = dbresults(base)) {
    if (r == FAIL && dbdead(base)) break;
    int status;
    do {
      status = dbnextrow(base);
    } while (status == REG_ROW || status > 0);
  }
  return true;
}

void TSQLServer::StartTransaction() {
  if (FTransActive) RaiseDatabaseError(STransactActive);
  FTransActive = InternalExecute("BEGIN TRANSACTION");
}

void TSQLServer::Commit() {
  EndTransaction("COMMIT TRANSACTION");
}

void TSQLServer::RollBack() {
  EndTransaction("ROLLBACK TRANSACTION");
}

void TSQLServer::EndTransaction(const char* statement) {
  if (!FTransActive) RaiseDatabaseError(STransactInActive);
  FTransActive = !InternalExecute(statement);
  // The temporary procedures of statements prepared on the base connection
  // belong to the transaction that just ended.
  for (std::size_t i = 0; i < FQueries.size(); ++i) {
    TlqServerQuery* query = FQueries[i];
    if (query->QueryConnection() == FBaseProcess && query->QueryPrepared()) query->UnPrepareQuery();
  }
  PDBPROCESS old_base = FBaseProcess;
  DropConnection(nullptr, FBaseProcess);
  if (old_base == nullptr || FBaseProcess == old_base) return;
  // The base connection was forgotten. Unless a query still holds it, nobody
  // will ever give it back, so it is closed here; a query that holds it
  // leaves it before its next statement (see IsFormerBase), so that nothing
  // it sends later escapes the next transaction.
  ForgetBase(old_base);
}

std::string TSQLServer::GetProcname() {
  ++FProcCount;
  std::string name = Name();
  if (name.empty()) {
    name = "NoName";
  } else if (name.size() >= 24) {
    name = name.substr(0, 21) + FDataBaseName.substr(0, 2);
  }
  return Format("#%s%.6d", {name, FProcCount});
}

}  // namespace tessel

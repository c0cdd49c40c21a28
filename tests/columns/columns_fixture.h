#pragma once

// The column tests' fixture: tables of types a server may not know yet, the
// server's own view of a table, and queries that post what they edit.

#include <string>
#include <vector>

#include "query_fixture.h"

namespace tessel::testing {

class ColumnsTest : public QueryTest {
 protected:
  // Creates `table` with `columns`; skips the test when the server does not
  // know one of the types (error 2715). Callers return when IsSkipped().
  void MakeTypedTable(const std::string& table, const std::string& columns,
                      const std::vector<std::string>& rows) {
    try {
      MakeTable(table, columns, rows);
    } catch (const ElqSQLError& e) {
      if (e.ErrorCode() != 2715) throw;
      GTEST_SKIP() << "the server does not know a type of (" << columns << ")";
    }
  }

  std::vector<std::string> ServerRows(const std::string& sql) {
    return Rows(server->GetBaseProcess(), sql);
  }

  // A fully read query over `sql` that posts `update_fields` (one per line)
  // to `table` by the key `key`.
  TTessel* EditableQuery(const std::string& sql, const std::string& table, const std::string& key,
                         const std::string& update_fields) {
    TTessel* query = NewQuery(sql);
    query->SetCacheAllRecords(true);
    query->UpdateParams()->SetTableName(table);
    query->UpdateParams()->KeyFields()->Add(key);
    query->UpdateParams()->UpdateFields()->SetText(update_fields);
    query->Open();
    return query;
  }
};

}  // namespace tessel::testing

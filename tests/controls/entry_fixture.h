#pragma once

// A table with a column of each kind the data-entry controls edit, a lookup
// table of customers, and queries over both, for the controls' tests.

#include <QString>
#include <memory>
#include <string>

#include "controls_fixture.h"

namespace tessel::testing {

class EntryTest : public ControlsTest {
 protected:
  void TearDown() override {
    cust_source.reset();
    cust_query.reset();
    ControlsTest::TearDown();
  }

  // ctl_entry: row 1 holds a value in every column, row 2 nulls where allowed.
  void MakeEntry() {
    server->InternalExecute("IF OBJECT_ID('ctl_entry') IS NOT NULL DROP TABLE ctl_entry");
    server->InternalExecute(
        "CREATE TABLE ctl_entry (id int PRIMARY KEY, flag bit NOT NULL, yn char(1) NULL, "
        "color varchar(10) NULL, cust int NULL, born date NOT NULL, seen datetime NULL, "
        "qty smallint NULL, price decimal(18,2) NOT NULL, note varchar(30) NULL)");
    server->InternalExecute(
        "INSERT INTO ctl_entry VALUES (1, 1, 'Y', 'green', 2, '2001-02-03', "
        "'2020-01-02 03:04:05', 7, 10.50, 'a <b>note</b>')");
    server->InternalExecute(
        "INSERT INTO ctl_entry VALUES (2, 0, NULL, NULL, NULL, '2002-03-04', NULL, NULL, 0, "
        "NULL)");
    server->InternalExecute("IF OBJECT_ID('ctl_cust') IS NOT NULL DROP TABLE ctl_cust");
    server->InternalExecute("CREATE TABLE ctl_cust (id int PRIMARY KEY, name varchar(30))");
    server->InternalExecute("INSERT INTO ctl_cust VALUES (1, 'Alpha')");
    server->InternalExecute("INSERT INTO ctl_cust VALUES (2, 'Beta')");
    server->InternalExecute("INSERT INTO ctl_cust VALUES (3, 'Gamma')");
  }

  // The entry rows, editable, on `query` and `source`; the customers on
  // `cust_query` and `cust_source`.
  TTessel& OpenEntry() {
    TTessel& q = OpenQuery("SELECT * FROM ctl_entry ORDER BY id", true);
    q.Close();
    q.UpdateParams()->SetTableName("ctl_entry");
    q.UpdateParams()->KeyFields()->Add("id");
    q.UpdateParams()->UpdateFields()->SetText(
        "flag\nyn\ncolor\ncust\nborn\nseen\nqty\nprice\nnote");
    q.Open();
    cust_query = std::make_unique<TTessel>(nullptr);
    cust_query->SetSQLServer(server.get());
    cust_query->SetCacheAllRecords(true);
    cust_query->SQL()->SetText("SELECT id, name FROM ctl_cust ORDER BY id");
    cust_source = std::make_unique<TDataSource>(nullptr);
    cust_source->SetDataSet(cust_query.get());
    cust_query->Open();
    return q;
  }

  // column of row 1 as the server holds it, read through a fresh query.
  std::string Stored(const std::string& column) {
    return ServerRows("SELECT " + column + " FROM ctl_entry WHERE id = 1").at(0);
  }

  std::unique_ptr<TTessel> cust_query;
  std::unique_ptr<TDataSource> cust_source;
};

}  // namespace tessel::testing

#pragma once

// Base of the controls' tests: an open server, tables made for one test, and
// queries with a data source, all destroyed before the server.

#include <QImage>
#include <QScreen>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "framework/datasource.h"
#include "runtime/Tessel.h"
#include "test_server.h"

namespace tessel::testing {

// Whether what the screen shows of a shown top-level widget is what painting
// the whole widget afresh gives: false when a change was left unpainted.
inline bool ScreenShowsAFullPaint(QWidget& widget) {
  const QImage screen = widget.screen()->grabWindow(widget.winId()).toImage();
  const QImage painted = widget.grab().toImage();
  return screen.convertToFormat(QImage::Format_RGB32) ==
         painted.convertToFormat(QImage::Format_RGB32);
}

class ControlsTest : public IntegrationTest {
 protected:
  void SetUp() override {
    IntegrationTest::SetUp();
    if (IsSkipped()) return;
    server->Open();
  }
  void TearDown() override {
    source.reset();
    query.reset();
    IntegrationTest::TearDown();
  }

  // (id int primary key, name varchar(30)) holding 1, 'name1' ... count.
  void MakeNumbers(const std::string& table, int count) {
    server->InternalExecute("IF OBJECT_ID('" + table + "') IS NOT NULL DROP TABLE " + table);
    server->InternalExecute("CREATE TABLE " + table + " (id int PRIMARY KEY, name varchar(30))");
    if (count <= 50) {
      for (int i = 1; i <= count; ++i) {
        server->InternalExecute("INSERT INTO " + table + " VALUES (" + std::to_string(i) +
                                ", 'name" + std::to_string(i) + "')");
      }
      return;
    }
    // Larger tables in one statement: five digit columns crossed.
    server->InternalExecute("IF OBJECT_ID('ctl_digits') IS NOT NULL DROP TABLE ctl_digits");
    server->InternalExecute("CREATE TABLE ctl_digits (n int)");
    for (int d = 0; d < 10; ++d)
      server->InternalExecute("INSERT INTO ctl_digits VALUES (" + std::to_string(d) + ")");
    server->InternalExecute(
        "INSERT INTO " + table +
        " SELECT n1 + 1, 'name' + CONVERT(varchar(10), n1 + 1) FROM (SELECT a.n + 10 * b.n + "
        "100 * c.n + 1000 * d.n + 10000 * e.n AS n1 FROM ctl_digits a, ctl_digits b, "
        "ctl_digits c, ctl_digits d, ctl_digits e) AS numbers WHERE n1 < " +
        std::to_string(count));
  }

  // A query on sql with a data source over it; opened. With a table named,
  // posts write to that table, id being the key and id and name written.
  TTessel& OpenQuery(const std::string& sql, bool cache_all = false,
                     const std::string& update_table = "") {
    query = std::make_unique<TTessel>(nullptr);
    query->SetSQLServer(server.get());
    query->SetCacheAllRecords(cache_all);
    query->SQL()->SetText(sql);
    if (!update_table.empty()) {
      query->UpdateParams()->SetTableName(update_table);
      query->UpdateParams()->KeyFields()->Add("id");
      query->UpdateParams()->UpdateFields()->SetText("id\nname");
    }
    source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(query.get());
    query->Open();
    return *query;
  }

  // The first column of every row of sql, read on the server's base
  // connection: what the server holds, not what the query cached.
  std::vector<std::string> ServerRows(const std::string& sql) {
    return Rows(server->GetBaseProcess(), sql);
  }

  std::unique_ptr<TTessel> query;
  std::unique_ptr<TDataSource> source;
};

}  // namespace tessel::testing

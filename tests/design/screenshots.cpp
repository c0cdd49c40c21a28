// Pictures of the design-time dialogs with real catalog data, for the
// documentation. It starts tessel-sqld the way the integration tests do,
// fills a small order database, opens each dialog as a designer would see
// it and saves a PNG of it in the folder given (default: docs).
//
//   xvfb-run -a build/asan/bin/design_screenshots docs

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <string>

#include "design/lqSQLBDialog.h"
#include "design/lqSQLPDialog.h"
#include "design/lqSQLUpdateDialog.h"
#include "framework/params.h"
#include "runtime/Tessel.h"
#include "test_server.h"

namespace tessel {
namespace {

void Save(QWidget* dialog, const QString& folder, const char* name) {
  dialog->show();
  QTest::qWait(200);
  const QString path = QDir(folder).filePath(name);
  if (!dialog->grab().save(path)) std::fprintf(stderr, "could not write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

void Choose(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text);
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

void Select(QListWidget* list, const QStringList& names) {
  for (const QString& name : names) {
    for (QListWidgetItem* item : list->findItems(name, Qt::MatchExactly)) item->setSelected(true);
  }
}

void MakeData(TSQLServer& server) {
  for (const char* table : {"order_lines", "orders", "customers"}) {
    try {
      server.InternalExecute(std::string("DROP TABLE ") + table);
    } catch (const ElqSQLError&) {
      // Not there yet.
    }
  }
  server.InternalExecute(
      "CREATE TABLE customers (id int PRIMARY KEY, name varchar(40), city varchar(30))");
  server.InternalExecute(
      "CREATE TABLE orders (id int PRIMARY KEY, customer_id int, placed datetime, "
      "qty int, price money, note varchar(60))");
  server.InternalExecute(
      "CREATE TABLE order_lines (order_id int, line_no int, item varchar(40), qty int, "
      "PRIMARY KEY (order_id, line_no))");
  server.InternalExecute("INSERT INTO customers VALUES (1, 'Alder & Sons', 'Leeds')");
  server.InternalExecute(
      "INSERT INTO orders VALUES (12, 1, '20261201 10:30', 5, 12.50, 'first order')");
}

int Run(const QString& folder) {
  std::string why;
  const testing::ServerAddress* address = testing::TestServer(why);
  if (address == nullptr) {
    std::fprintf(stderr, "no server: %s\n", why.c_str());
    return 1;
  }
  InitializeDBLIB();
  std::unique_ptr<TSQLServer> server = testing::NewSQLServer(*address);
  server->Open();
  MakeData(*server);
  server->Close();

  TComponent form(nullptr);
  form.SetName("Form1");
  auto* query = new TTessel(&form);
  query->SetName("Orders");
  query->SetSQLServer(server.get());
  query->SQL()->SetText(
      "select * from orders\nwhere customer_id = :customer and placed >= :since\n"
      "and note like :pattern");
  query->ParamByName("customer")->SetDataType(ftInteger);
  query->ParamByName("customer")->SetAsInteger(1);
  query->ParamByName("since")->SetDataType(ftDateTime);
  query->ParamByName("since")->SetText("2026-12-01 00:00:00");

  {
    TParams working;
    working.Assign(query->Params());
    TlqParamsDialog dialog;
    dialog.SetQuery(query);
    dialog.SetParams(&working);
    dialog.FormShow();
    Save(&dialog, folder, "params-dialog.png");
  }
  {
    TUpdateParams params;
    params.SetTableName("orders");
    params.KeyFields()->Add("id");
    params.UpdateFields()->Add("qty");
    params.UpdateFields()->Add("price");
    params.UpdateFields()->Add("note");
    params.SetUpdateMode(upWhereKeyOnly);
    TlqSQLUpdateDialog dialog;
    dialog.SetQuery(query);
    dialog.SetUpdateParams(&params);
    dialog.FormShow();
    Save(&dialog, folder, "update-params-dialog.png");
    dialog.reject();
  }
  {
    auto* update = new TSQLUpdate(&form);
    update->SetName("OrdersUpdate");
    query->SetUpdateObject(update);
    TlqSQLBuildDialog dialog;
    dialog.SetUpdateObject(update);
    dialog.FormShow();
    Choose(dialog.findChild<QComboBox*>("TableCombo"), "order_lines");
    Select(dialog.findChild<QListWidget*>("KeyList"), {"order_id", "line_no"});
    Select(dialog.findChild<QListWidget*>("UpdateList"), {"item", "qty"});
    dialog.findChild<QComboBox*>("UpdateMode")->setCurrentIndex(1);
    Save(&dialog, folder, "sql-builder-generate.png");
    QTest::mouseClick(dialog.findChild<QWidget*>("GenerateButton"), Qt::LeftButton);
    dialog.findChild<QTabWidget*>("PageControl")->setCurrentIndex(2);
    Save(&dialog, folder, "sql-builder-modify.png");
    dialog.reject();
  }
  form.DestroyComponents();
  return 0;
}

}  // namespace
}  // namespace tessel

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Tessel");
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("docs");
  QDir().mkpath(folder);
  try {
    return tessel::Run(folder);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}

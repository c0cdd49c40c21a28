// Saves the picture of tessel-designer shown in the README: a form holding a
// connection to tessel-sqld, two queries and an update object where a user
// placed them, a query just copied and pasted (its copy selected, the status
// line saying so, the title marked as changed), the property panel on it
// with its events open, and the preview with the query's rows.
// Usage: designer_screenshot FILE.png (under xvfb-run for a real X server).

#include <QApplication>
#include <QTimer>
#include <QTreeWidgetItem>
#include <cstdio>

#include "controls/main_thread.h"
#include "design/lqSQLEditors.h"
#include "designer_window.h"
#include "form_canvas.h"
#include "form_document.h"
#include "framework/string_list.h"
#include "property_panel.h"
#include "runtime/Tessel.h"
#include "test_server.h"

using namespace tessel;

namespace {

void FillTables(TSQLServer& server) {
  server.Open();
  server.InternalExecute("IF OBJECT_ID('orders') IS NOT NULL DROP TABLE orders");
  server.InternalExecute(
      "CREATE TABLE orders (id int PRIMARY KEY, customer varchar(30), placed datetime, "
      "total money)");
  const char* customers[] = {"Harbour Tools",    "Lindqvist & Sons", "Nordic Paper",
                             "Blue Finch Cafe",  "Okafor Imports",   "Marlowe Books",
                             "Tanaka Electric",  "Greenfield Farm",  "Delmar Clinic",
                             "Kestrel Aviation", "Pine Street Deli", "Vasquez Textiles"};
  for (int i = 0; i < 12; ++i) {
    server.InternalExecute("INSERT INTO orders VALUES (" + std::to_string(1001 + i) + ", '" +
                           customers[i] + "', '2026-11-" + std::to_string(10 + i) +
                           " 09:" + std::to_string(10 + 3 * i) + ":00', " +
                           std::to_string(120 + 37 * i) + "." + std::to_string(10 + i) + ")");
  }
  server.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: designer_screenshot FILE.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  // No display name: Qt would append it to every dialog's caption.
  QApplication::setApplicationName("tessel-designer");
  controls::InstallSynchronizeHook();
  Register();
  std::string why;
  const tessel::testing::ServerAddress* address = tessel::testing::TestServer(why);
  if (address == nullptr) {
    std::fprintf(stderr, "designer_screenshot: no server: %s\n", why.c_str());
    return 1;
  }
  int code = 0;
  {
    auto filler = tessel::testing::NewSQLServer(*address);
    FillTables(*filler);

    designer::DesignerWindow window;
    designer::FormDocument& form = window.Document();
    // Placed as a user would arrange them: the connection, its queries to
    // the right, the update object under the query it serves.
    designer::FormCanvas& canvas = *window.Canvas();
    auto* server =
        dynamic_cast<TSQLServer*>(canvas.Place(ClassInfoOf<TSQLServer>(), QPoint(24, 72)));
    server->SetServerName(address->Server);
    server->SetUsername(address->User);
    server->SetPassword(address->Password);
    server->SetDataBaseName(address->Database);
    auto* orders = dynamic_cast<TTessel*>(canvas.Place(ClassInfoOf<TTessel>(), QPoint(184, 24)));
    orders->SetName("Orders");
    orders->SetSQLServer(server);
    orders->SQL()->SetText("SELECT id, customer, placed, total FROM orders ORDER BY id");
    auto* update =
        dynamic_cast<TSQLUpdate*>(canvas.Place(ClassInfoOf<TSQLUpdate>(), QPoint(184, 120)));
    orders->SetUpdateObject(update);
    update->ModifySQL()->SetText("UPDATE orders SET customer = :customer WHERE id = :OLD_id");
    auto* big = dynamic_cast<TTessel*>(canvas.Place(ClassInfoOf<TTessel>(), QPoint(320, 24)));
    big->SetName("BigOrders");
    big->SetSQLServer(server);
    big->SQL()->SetText("SELECT * FROM orders WHERE total > :least");
    // An event with the name of the handler the application registers.
    ClassInfoOf<TTessel>()
        ->FindProperty("AfterOpen")
        ->bind_handler(*orders, "OrdersOpened", nullptr);
    // Mid-edit: Orders copied and pasted as Orders1 (pasting rebuilds the
    // form, so components are found by name from here on).
    form.Select(orders);
    window.CopySelected();
    window.PasteClip();
    if (QTreeWidgetItem* events = window.Properties()->Row("(Events)")) events->setExpanded(true);
    window.resize(980, 900);
    window.show();
    if (!window.ShowPreview("Orders")) code = 1;
    QTimer::singleShot(500, &window, [&] {
      if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "designer_screenshot: cannot write %s\n", argv[1]);
        code = 1;
      }
      app.exit();
    });
    app.exec();
  }
  controls::RemoveSynchronizeHook();
  return code;
}

// order-entry: orders, their lines, customers and products from a SQL
// Server (or tessel-sqld), on a screen drawn in Qt Designer and bound to a
// form file's data module. See --help.

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <string>

#include "controls/data_combo_boxes.h"
#include "controls/data_number_edits.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "order_total.h"
#include "order_window.h"
#include "runtime/published.h"
#include "sql_script.h"

namespace {

using namespace tessel;
using order_entry::Login;

const char kUsage[] =
    "Usage: order-entry [options]\n"
    "Enters and edits orders of the sample database (scripts/order-entry.sh makes one).\n"
    "\n"
    "  --server HOST:PORT  the server (default 127.0.0.1:1433)\n"
    "  --user NAME         the login (default sa)\n"
    "  --password P        its password\n"
    "  --database NAME     the database (default tessel)\n"
    "  --screen DIR        where order_entry.ui and order_entry.tfm are\n"
    "                      (default: the example's source folder)\n"
    "  --setup FILE        run FILE's SQL batches (separated by GO) first,\n"
    "                      e.g. order_entry.sql to make the sample data\n"
    "  --offscreen-check   open the window, change the first line's quantity,\n"
    "                      post it, check the server holds it, and exit\n"
    "                      (0 when it does); for runs without a display\n"
    "  --screenshot FILE   save a picture of the window as PNG and exit\n"
    "  --help              show this text\n";

struct Options {
  Login login;
  QString screen_dir = QStringLiteral(ORDER_ENTRY_SCREEN_DIR);
  std::string setup;
  bool check = false;
  QString screenshot;
};

// False, with the reason in `error`, for an unknown option or a missing value.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--server") {
      if (!value(options.login.server)) return false;
    } else if (arg == "--user") {
      if (!value(options.login.user)) return false;
    } else if (arg == "--password") {
      if (!value(options.login.password)) return false;
    } else if (arg == "--database") {
      if (!value(options.login.database)) return false;
    } else if (arg == "--setup") {
      if (!value(options.setup)) return false;
    } else if (arg == "--screen") {
      if (!value(text)) return false;
      options.screen_dir = QString::fromStdString(text);
    } else if (arg == "--screenshot") {
      if (!value(text)) return false;
      options.screenshot = QString::fromStdString(text);
    } else if (arg == "--offscreen-check") {
      options.check = true;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

void RunSetup(const Options& options) {
  TSQLServer server(nullptr);
  server.SetServerName(options.login.server);
  server.SetUsername(options.login.user);
  server.SetPassword(options.login.password);
  server.SetDataBaseName(options.login.database);
  order_entry::RunScriptFile(server, options.setup);
}

// Types text into widget as a user would, key by key.
void Type(QWidget* widget, const QString& text) {
  widget->setFocus();
  QKeyEvent select_all(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
  QApplication::sendEvent(widget, &select_all);
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
  }
}

// The first line of the first order gets one more of its product; the
// server must then hold exactly what was typed.
int OffscreenCheck(order_entry::OrderWindow& window) {
  for (const auto& problem : window.Problems())
    std::fprintf(stderr, "order-entry: %s\n", problem.Message().toStdString().c_str());
  if (!window.Problems().empty()) return 1;
  TTessel& lines = window.Lines();
  lines.First();
  if (lines.IsEmpty()) {
    std::fprintf(stderr, "order-entry: the first order has no lines\n");
    return 1;
  }
  const int order = lines.FieldByName("order_id")->AsInteger();
  const int line = lines.FieldByName("line_no")->AsInteger();
  const Decimal typed = order_entry::Add(
      Decimal::FromString(lines.FieldByName("quantity")->AsString()), Decimal::FromInteger(1));
  const QString text = QString::fromStdString(typed.ToString());
  Type(window.Find<controls::DataDecimalEdit>("quantityEdit"), text);
  if (!window.PostAll()) {
    std::fprintf(stderr, "order-entry: posting failed: %s\n",
                 window.StatusText().toStdString().c_str());
    return 1;
  }
  TTessel stored(nullptr);
  stored.SetSQLServer(lines.DataBaseName());
  stored.SQL()->SetText("SELECT quantity FROM order_lines WHERE order_id = " +
                        std::to_string(order) + " AND line_no = " + std::to_string(line));
  stored.Open();
  const std::string held = stored.FieldByName("quantity")->AsString();
  if (stored.IsEmpty() || Decimal::FromString(held) != typed) {
    std::fprintf(stderr, "order-entry: typed %s, the server holds %s\n", text.toStdString().c_str(),
                 held.c_str());
    return 1;
  }
  std::printf("order-entry: check passed: order %d line %d quantity %s posted, total %s\n", order,
              line, held.c_str(), window.TotalText().toStdString().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "order-entry: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  QApplication app(argc, argv);
  RegisterTesselClasses();
  std::unique_ptr<order_entry::OrderWindow> window;
  try {
    if (!options.setup.empty()) RunSetup(options);
    window = std::make_unique<order_entry::OrderWindow>(options.screen_dir, options.login);
  } catch (const std::exception& e) {
    // Without a window the reason goes to a message box, or to the log of
    // a run without a display.
    if (options.check || !options.screenshot.isEmpty()) {
      std::fprintf(stderr, "order-entry: %s\n", e.what());
    } else {
      QMessageBox::critical(nullptr, QStringLiteral("Order entry"), QString::fromUtf8(e.what()));
    }
    return 1;
  }
  if (options.check) return OffscreenCheck(*window);
  window->show();
  if (!options.screenshot.isEmpty()) {
    int result = 1;
    QTimer::singleShot(500, [&] {
      result = window->grab().save(options.screenshot) ? 0 : 1;
      app.quit();
    });
    app.exec();
    return result;
  }
  return app.exec();
}

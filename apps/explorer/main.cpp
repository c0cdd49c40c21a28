// tessel-explorer: see the data of a SQL Server or tessel-sqld in a window.
#include <QApplication>
#include <QInputDialog>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidgetItem>
#include <cstdio>

#include "controls/main_thread.h"
#include "explorer_window.h"
#include "object_tree.h"
#include "options.h"

using tessel::explorer::ExplorerWindow;
using tessel::explorer::Options;

int main(int argc, char** argv) {
  Options options;
  const std::string error = tessel::explorer::ParseOptions(argc, argv, options);
  if (options.help) {
    std::fputs(tessel::explorer::Usage().c_str(), stdout);
    return 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "tessel-explorer: %s\n\n%s", error.c_str(),
                 tessel::explorer::Usage().c_str());
    return 2;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("tessel-explorer");
  QApplication::setApplicationVersion(TESSEL_VERSION);
  tessel::controls::InstallSynchronizeHook();
  struct Unhook {
    ~Unhook() { tessel::controls::RemoveSynchronizeHook(); }
  } unhook;
  if (!options.password) {
    bool ok = false;
    const QString password = QInputDialog::getText(
        nullptr, "Tessel Explorer",
        QString("Password of %1 on %2:")
            .arg(QString::fromStdString(options.user), QString::fromStdString(options.server)),
        QLineEdit::Password, {}, &ok);
    if (!ok) return 1;
    options.password = password.toStdString();
  }

  auto server = std::make_unique<tessel::TSQLServer>(nullptr);
  server->SetServerName(options.server);
  server->SetUsername(options.user);
  server->SetPassword(*options.password);
  server->SetDataBaseName(options.database);
  server->SetApplicationName("tessel-explorer");
  try {
    server->Open();
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "tessel-explorer: cannot log in to %s: %s\n", options.server.c_str(),
                 e.Message().c_str());
    return 1;
  }

  ExplorerWindow window(std::move(server));
  window.UseHistoryFile(options.history.empty()
                            ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                  "/history.json"
                            : QString::fromStdString(options.history));
  if (!options.expand.empty()) {
    for (int i = 0; i < window.Tree()->topLevelItemCount(); ++i) {
      QTreeWidgetItem* database = window.Tree()->topLevelItem(i);
      if (!database->isExpanded()) continue;
      if (QTreeWidgetItem* table =
              window.Tree()->Find(database->text(0), QString::fromStdString(options.expand))) {
        table->setExpanded(true);
        window.Tree()->setCurrentItem(table);
      }
    }
  }
  window.SetSql(QString::fromStdString(options.sql));
  window.SetDetailSql(QString::fromStdString(options.detail_sql));
  window.show();
  if (!options.sql.empty()) window.Run();

  int code = 0;  // outlives the calls below, which run from the event loop
  if (!options.screenshot.empty()) {
    // Waits for the statements, lets the window paint, and keeps a picture.
    auto save = [&] {
      QTimer::singleShot(300, &window, [&] {
        if (!window.grab().save(QString::fromStdString(options.screenshot))) {
          std::fprintf(stderr, "tessel-explorer: cannot write %s\n", options.screenshot.c_str());
          code = 1;
        }
        app.exit(code);
      });
    };
    if (window.Running()) {
      QObject::connect(&window, &ExplorerWindow::Finished, &window, save);
    } else {
      save();
    }
  }
  return app.exec();
}

#pragma once

// The explorer's main window: a statement editor, a grid and a navigator on
// the master query, a memo and an image view for the current row's text or
// image column, and a detail query that follows the master's current row.
// Statements run in the query's worker thread; the window shows the rows
// read so far and can cancel. Edits are written to the one table a result
// comes from, with the key and columns the server's catalog gives
// (UpdateTarget); any other result is read-only, and the status line says
// which. Beside them, the object tree of the server's catalog; a menu bar
// (File: export the result as CSV or JSON; Edit; Query: run, cancel and the
// statements run before; Help); the status line says what the last
// statement did. Owns its connection and queries; main thread.

#include <QMainWindow>
#include <memory>
#include <string>

#include "controls/data_edits.h"
#include "controls/data_grid.h"
#include "controls/data_navigator.h"
#include "framework/datasource.h"
#include "result_export.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"
#include "statement_history.h"
#include "update_target.h"

class QAction;
class QComboBox;
class QMenu;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tessel::explorer {

class ObjectTree;

class ExplorerWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit ExplorerWindow(std::unique_ptr<TSQLServer> server, QWidget* parent = nullptr);
  ~ExplorerWindow() override;

  // Runs the master statement in the worker thread (rows expected).
  void Run();
  // Runs the master statement for its effect (no rows).
  void Execute();
  // Stops a running statement and closes the master query.
  void Cancel();
  // Opens the detail statement against the master's current row.
  void RunDetail();
  // Writes the master's rows to path (UTF-8) and puts its cursor back; the
  // status line says how many went where, or why none did. True when written.
  bool ExportResult(apps::ExportFormat format, const QString& path);
  // Keeps the statements run in path (see StatementHistory).
  void UseHistoryFile(const QString& path);
  const StatementHistory& History() const { return history_; }
  // Puts an older or newer statement of the history into the editor.
  void OlderStatement();
  void NewerStatement();

  void SetSql(const QString& sql);
  QString Sql() const;
  void SetDetailSql(const QString& sql);
  // True while a statement runs in the worker thread.
  bool Running() const;
  QString Status() const;
  // Where the detail's edits go, or why it is read-only.
  QString DetailStatus() const;

  TTessel* Master() const { return master_.get(); }
  TTessel* Detail() const { return detail_.get(); }
  controls::DataGrid* Grid() const { return grid_; }
  controls::DataGrid* DetailGrid() const { return detail_grid_; }
  ObjectTree* Tree() const { return tree_; }

 protected:
  // An edited row not yet posted is written first; if the server refuses it,
  // the user decides whether to close anyway.
  void closeEvent(QCloseEvent* event) override;

 signals:
  // A master statement ended: completed, failed or cancelled.
  void Finished();

 private:
  void BuildWindow();
  // The menu bar and its actions (explorer_menus.cpp).
  void BuildMenus();
  void FillHistoryMenu();
  void ChooseExportFile(apps::ExportFormat format);
  void ShowAbout();
  // Starts the master statement: AsyncOpen for rows, AsyncExec for none.
  void Start(bool rows);
  void Ready();
  void Failed(const std::string& message);
  void Progress(int rows);
  void ShowBlobFields();
  void ChooseBlobField(int index);
  void SetRunning(bool running);
  // Posts an edit still pending in either query; raises what the post raises.
  void PostPending();
  // Reads where the query's edits go and sets its update parameters (none:
  // the query is read-only); returns the status line's words for it.
  QString ChooseUpdateTarget(TTessel& query, UpdateTarget& target);

  std::unique_ptr<TSQLServer> server_;
  std::unique_ptr<TTessel> master_;
  std::unique_ptr<TDataSource> master_source_;
  std::unique_ptr<TTessel> detail_;
  std::unique_ptr<TDataSource> detail_source_;
  // Where the edits of each query go; the fields it does not write are made
  // read-only again each time the query opens.
  UpdateTarget master_target_;
  UpdateTarget detail_target_;

  QPlainTextEdit* sql_ = nullptr;
  QPlainTextEdit* detail_sql_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* execute_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* detail_status_ = nullptr;
  ObjectTree* tree_ = nullptr;
  QMenu* history_menu_ = nullptr;
  QAction* cancel_action_ = nullptr;
  StatementHistory history_;
  controls::DataGrid* grid_ = nullptr;
  controls::DataNavigator* navigator_ = nullptr;
  QComboBox* blob_field_ = nullptr;
  controls::DataMemo* memo_ = nullptr;
  controls::DataImage* image_ = nullptr;
  controls::DataGrid* detail_grid_ = nullptr;
  controls::DataNavigator* detail_navigator_ = nullptr;
};

}  // namespace tessel::explorer

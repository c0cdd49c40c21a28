// The explorer's menu bar: File (export, quit), Edit (on the statement being
// typed), Query (run, execute, cancel, the history) and Help (About). The
// actions carry the keyboard shortcuts, so the keys and the menu agree.

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "explorer_window.h"
#include "object_tree.h"

namespace tessel::explorer {

namespace {

// The statement editor the Edit menu acts on: the one with the focus, or
// the master's.
QPlainTextEdit* FocusedEditor(QPlainTextEdit* fallback) {
  auto* focused = qobject_cast<QPlainTextEdit*>(QApplication::focusWidget());
  return focused != nullptr ? focused : fallback;
}

// A history entry as a menu shows it: its first line, cut short.
QString MenuText(const QString& statement) {
  QString line = statement.section(QLatin1Char('\n'), 0, 0).simplified();
  if (line.size() > 60) line = line.left(57) + QStringLiteral("...");
  if (statement.contains(QLatin1Char('\n'))) line += QStringLiteral(" ...");
  line.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return line;
}

}  // namespace

void ExplorerWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("Export result as &CSV..."), this,
                  [this] { ChooseExportFile(apps::ExportFormat::kCsv); });
  file->addAction(tr("Export result as &JSON..."), this,
                  [this] { ChooseExportFile(apps::ExportFormat::kJson); });
  file->addSeparator();
  file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addAction(tr("&Undo"), QKeySequence::Undo, this, [this] { FocusedEditor(sql_)->undo(); });
  edit->addAction(tr("&Redo"), QKeySequence::Redo, this, [this] { FocusedEditor(sql_)->redo(); });
  edit->addSeparator();
  edit->addAction(tr("Cu&t"), QKeySequence::Cut, this, [this] { FocusedEditor(sql_)->cut(); });
  edit->addAction(tr("&Copy"), QKeySequence::Copy, this, [this] { FocusedEditor(sql_)->copy(); });
  edit->addAction(tr("&Paste"), QKeySequence::Paste, this,
                  [this] { FocusedEditor(sql_)->paste(); });
  edit->addAction(tr("Select &All"), QKeySequence::SelectAll, this,
                  [this] { FocusedEditor(sql_)->selectAll(); });
  // The editors handle these keys themselves while they have the focus; the
  // menu's shortcuts must not take them away from the grid's cell editors.
  for (QAction* action : edit->actions()) action->setShortcutContext(Qt::WidgetShortcut);

  QMenu* query = menuBar()->addMenu(tr("&Query"));
  QAction* run = query->addAction(tr("&Run"), this, &ExplorerWindow::Run);
  run->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return),
                     QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  query->addAction(tr("E&xecute (no rows)"), QKeySequence(Qt::SHIFT | Qt::Key_F5), this,
                   &ExplorerWindow::Execute);
  cancel_action_ =
      query->addAction(tr("&Cancel"), QKeySequence(Qt::Key_Escape), this, &ExplorerWindow::Cancel);
  cancel_action_->setEnabled(false);
  query->addAction(tr("Run &detail"), this, &ExplorerWindow::RunDetail);
  query->addSeparator();
  query->addAction(tr("&Older statement"), QKeySequence(Qt::CTRL | Qt::Key_Up), this,
                   &ExplorerWindow::OlderStatement);
  query->addAction(tr("&Newer statement"), QKeySequence(Qt::CTRL | Qt::Key_Down), this,
                   &ExplorerWindow::NewerStatement);
  history_menu_ = query->addMenu(tr("&History"));
  query->addSeparator();
  query->addAction(tr("Re&load object tree"), this, [this] { tree_->Load(); });
  FillHistoryMenu();

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(tr("&About Tessel Explorer"), this, &ExplorerWindow::ShowAbout);
}

void ExplorerWindow::FillHistoryMenu() {
  if (history_menu_ == nullptr) return;
  history_menu_->clear();
  for (const QString& statement : history_.Items()) {
    history_menu_->addAction(MenuText(statement), this,
                             [this, statement] { sql_->setPlainText(statement); });
  }
  history_menu_->setEnabled(!history_.Items().isEmpty());
}

void ExplorerWindow::ChooseExportFile(apps::ExportFormat format) {
  const bool csv = format == apps::ExportFormat::kCsv;
  const QString path = QFileDialog::getSaveFileName(
      this, csv ? tr("Export as CSV") : tr("Export as JSON"),
      csv ? QStringLiteral("result.csv") : QStringLiteral("result.json"),
      csv ? tr("CSV files (*.csv)") : tr("JSON files (*.json)"));
  if (!path.isEmpty()) ExportResult(format, path);
}

void ExplorerWindow::ShowAbout() {
  QMessageBox::about(
      this, tr("About Tessel Explorer"),
      tr("<p><b>Tessel Explorer</b> %1</p>"
         "<p>Runs statements on SQL Server through DB-Library, shows and edits their rows, "
         "and lists what the server holds.</p>"
         "<p>F5 or Ctrl+Enter runs, Escape cancels, Ctrl+Up and Ctrl+Down step through "
         "the statements run before.</p>")
          .arg(QApplication::applicationVersion()));
}

}  // namespace tessel::explorer

#include "explorer_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <sstream>

#include "controls/data_error.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "object_tree.h"

namespace tessel::explorer {

namespace {

// Fields the update target does not write become read-only, so that nothing
// typed into them is silently dropped; with no target the query cannot
// modify at all.
void MarkUnwrittenFields(TDataSet& query, const UpdateTarget& target) {
  if (target.table.empty()) return;
  for (TField* field : query.Fields()->List()) {
    const bool written = std::any_of(target.columns.begin(), target.columns.end(),
                                     [&](const std::string& c) { return c == field->FieldName(); });
    if (!written) field->SetReadOnly(true);
  }
}

// A worker's failure as the user reads it: the worker reports
// "EClassName: text." and the server's text ends with a period already. The
// server's message number, when there is one, goes in front.
QString UserMessage(const std::string& reported, int number) {
  QString message = QString::fromStdString(reported);
  static const QRegularExpression class_name(QStringLiteral("^E[A-Za-z0-9]*: "));
  message.remove(class_name);
  if (message.endsWith(QStringLiteral(".."))) message.chop(1);
  if (number > 0) message = QObject::tr("Error %1: %2").arg(number).arg(message);
  return message;
}

QString Rows(int count) {
  return count == 1 ? QObject::tr("1 row") : QObject::tr("%1 rows").arg(count);
}

QPlainTextEdit* NewSqlEditor(QWidget* parent, int lines) {
  auto* editor = new QPlainTextEdit(parent);
  QFont font("Monospace");
  font.setStyleHint(QFont::TypeWriter);
  editor->setFont(font);
  editor->setFixedHeight(editor->fontMetrics().lineSpacing() * lines + 12);
  editor->setPlaceholderText(QObject::tr("SELECT ..."));
  return editor;
}

}  // namespace

ExplorerWindow::ExplorerWindow(std::unique_ptr<TSQLServer> server, QWidget* parent)
    : QMainWindow(parent),
      server_(std::move(server)),
      master_(std::make_unique<TTessel>(nullptr)),
      master_source_(std::make_unique<TDataSource>(nullptr)),
      detail_(std::make_unique<TTessel>(nullptr)),
      detail_source_(std::make_unique<TDataSource>(nullptr)) {
  master_->SetName("Master");
  master_->SetSQLServer(server_.get());
  master_->SetAsyncFetchAll(true);
  master_source_->SetDataSet(master_.get());
  master_->OnThreadReady = [this](TObject*) { Ready(); };
  master_->OnThreadMsg = [this](TObject*, const std::string& message) { Failed(message); };
  master_->OnFetchProgress = [this](TObject*, int rows) { Progress(rows); };
  // Until the catalog says where edits go, the results are read-only.
  master_->SetUpdateParams(nullptr);
  master_->AfterOpen = [this](TDataSet*) { MarkUnwrittenFields(*master_, master_target_); };

  detail_->SetName("Detail");
  detail_->SetSQLServer(server_.get());
  detail_->SetCacheAllRecords(true);
  detail_source_->SetDataSet(detail_.get());
  detail_->SetUpdateParams(nullptr);
  detail_->AfterOpen = [this](TDataSet*) { MarkUnwrittenFields(*detail_, detail_target_); };

  BuildWindow();
  BuildMenus();
  tree_->Load();
  setWindowTitle(tr("Tessel Explorer - %1").arg(QString::fromStdString(server_->ServerName())));
  SetRunning(false);
}

ExplorerWindow::~ExplorerWindow() {
  // The controls let go of the data sources before the queries and the
  // connection go; a statement still running is stopped first.
  grid_->SetDataSource(nullptr);
  navigator_->SetDataSource(nullptr);
  memo_->SetDataSource(nullptr);
  image_->SetDataSource(nullptr);
  detail_grid_->SetDataSource(nullptr);
  detail_navigator_->SetDataSource(nullptr);
  try {
    detail_->Close();
    master_->AsyncClose();
    server_->Close();
  } catch (...) {
    // Closing on the way out: nothing left to tell.
  }
}

void ExplorerWindow::BuildWindow() {
  auto* top = new QWidget(this);
  auto* top_layout = new QVBoxLayout(top);
  sql_ = NewSqlEditor(top, 4);
  top_layout->addWidget(sql_);

  auto* buttons = new QHBoxLayout;
  run_ = new QPushButton(tr("&Run"), top);
  run_->setToolTip(tr("Run the statement and show its rows (F5)"));
  execute_ = new QPushButton(tr("E&xecute"), top);
  execute_->setToolTip(tr("Run a statement that returns no rows"));
  cancel_ = new QPushButton(tr("&Cancel"), top);
  cancel_->setToolTip(tr("Stop the running statement on the server"));
  status_ = new QLabel(tr("Ready"), top);
  buttons->addWidget(run_);
  buttons->addWidget(execute_);
  buttons->addWidget(cancel_);
  buttons->addWidget(status_, 1);
  top_layout->addLayout(buttons);
  connect(run_, &QPushButton::clicked, this, &ExplorerWindow::Run);
  connect(execute_, &QPushButton::clicked, this, &ExplorerWindow::Execute);
  connect(cancel_, &QPushButton::clicked, this, &ExplorerWindow::Cancel);

  auto* data_split = new QSplitter(Qt::Horizontal, top);
  auto* grid_box = new QWidget(data_split);
  auto* grid_layout = new QVBoxLayout(grid_box);
  grid_layout->setContentsMargins(0, 0, 0, 0);
  grid_ = new controls::DataGrid(grid_box);
  grid_->SetDataSource(master_source_.get());
  navigator_ = new controls::DataNavigator(grid_box);
  navigator_->SetDataSource(master_source_.get());
  grid_layout->addWidget(grid_);
  grid_layout->addWidget(navigator_);

  auto* blob_box = new QWidget(data_split);
  auto* blob_layout = new QVBoxLayout(blob_box);
  blob_layout->setContentsMargins(0, 0, 0, 0);
  blob_field_ = new QComboBox(blob_box);
  blob_field_->setToolTip(tr("The text or image column shown for the current row"));
  memo_ = new controls::DataMemo(blob_box);
  memo_->SetDataSource(master_source_.get());
  image_ = new controls::DataImage(blob_box);
  image_->SetDataSource(master_source_.get());
  image_->hide();
  blob_layout->addWidget(blob_field_);
  blob_layout->addWidget(memo_, 1);
  blob_layout->addWidget(image_, 1);
  connect(blob_field_, &QComboBox::currentIndexChanged, this, &ExplorerWindow::ChooseBlobField);
  data_split->setStretchFactor(0, 3);
  data_split->setStretchFactor(1, 1);
  top_layout->addWidget(data_split, 1);

  auto* detail_box = new QGroupBox(tr("Detail: follows the current row (:name takes its field)"));
  auto* detail_layout = new QVBoxLayout(detail_box);
  auto* detail_row = new QHBoxLayout;
  detail_sql_ = NewSqlEditor(detail_box, 2);
  detail_sql_->setPlaceholderText(tr("SELECT ... WHERE master_id = :id"));
  auto* run_detail = new QPushButton(tr("Run &detail"), detail_box);
  connect(run_detail, &QPushButton::clicked, this, &ExplorerWindow::RunDetail);
  detail_row->addWidget(detail_sql_, 1);
  detail_row->addWidget(run_detail);
  detail_layout->addLayout(detail_row);
  detail_status_ = new QLabel(detail_box);
  detail_layout->addWidget(detail_status_);
  detail_grid_ = new controls::DataGrid(detail_box);
  detail_grid_->SetDataSource(detail_source_.get());
  detail_navigator_ = new controls::DataNavigator(detail_box);
  detail_navigator_->SetDataSource(detail_source_.get());
  detail_layout->addWidget(detail_grid_, 1);
  detail_layout->addWidget(detail_navigator_);

  auto* main_split = new QSplitter(Qt::Vertical, this);
  main_split->addWidget(top);
  main_split->addWidget(detail_box);
  main_split->setStretchFactor(0, 3);
  main_split->setStretchFactor(1, 2);

  tree_ = new ObjectTree(server_.get());
  connect(tree_, &ObjectTree::StatementChosen, this, [this](const QString& sql) {
    SetSql(sql);
    sql_->setFocus();
    status_->setText(tr("Statement written: F5 runs it"));
  });
  connect(tree_, &ObjectTree::CatalogFailed, this,
          [this](const QString& message) { status_->setText(message); });
  auto* tree_split = new QSplitter(Qt::Horizontal, this);
  tree_split->addWidget(tree_);
  tree_split->addWidget(main_split);
  tree_split->setStretchFactor(0, 1);
  tree_split->setStretchFactor(1, 4);
  // Wide enough for table names and a column with its type.
  tree_split->setSizes({280, 920});
  setCentralWidget(tree_split);
  resize(1200, 760);
}

void ExplorerWindow::SetSql(const QString& sql) {
  sql_->setPlainText(sql);
}
QString ExplorerWindow::Sql() const {
  return sql_->toPlainText();
}
void ExplorerWindow::SetDetailSql(const QString& sql) {
  detail_sql_->setPlainText(sql);
}
bool ExplorerWindow::Running() const {
  return master_->AsyncOutcome() == aoRunning;
}
QString ExplorerWindow::Status() const {
  return status_->text();
}
QString ExplorerWindow::DetailStatus() const {
  return detail_status_->text();
}

void ExplorerWindow::SetRunning(bool running) {
  run_->setEnabled(!running);
  execute_->setEnabled(!running);
  cancel_->setEnabled(running);
  // Escape cancels only while a statement runs: otherwise it is the grid's,
  // to take back a row.
  if (cancel_action_ != nullptr) cancel_action_->setEnabled(running);
  sql_->setReadOnly(running);
}

void ExplorerWindow::Run() {
  Start(true);
}

void ExplorerWindow::Execute() {
  Start(false);
}

void ExplorerWindow::Start(bool rows) {
  const std::string sql = sql_->toPlainText().trimmed().toStdString();
  if (sql.empty()) {
    status_->setText(tr("Type a statement first"));
    return;
  }
  history_.Add(sql_->toPlainText());
  FillHistoryMenu();
  controls::RunReportingErrors(this, [&] {
    PostPending();
    detail_->Close();
    master_->AsyncClose();
    master_target_ = {};
    master_->SetUpdateParams(nullptr);
    master_->SQL()->SetText(sql);
    status_->setText(rows ? tr("Running...") : tr("Executing..."));
    SetRunning(true);
    if (rows) {
      master_->AsyncOpen();
    } else {
      master_->AsyncExec();
    }
  });
  if (!Running()) SetRunning(false);
}

void ExplorerWindow::Cancel() {
  if (!Running()) return;
  controls::RunReportingErrors(this, [&] { master_->AsyncClose(); });
  status_->setText(tr("Cancelled"));
  SetRunning(false);
  emit Finished();
}

void ExplorerWindow::Ready() {
  // A stopped statement still reports its end, from inside the close that
  // stopped it; Cancel (or the next Run) tells the user.
  if (master_->AsyncOutcome() == aoCancelled) return;
  SetRunning(false);
  if (master_->Active()) {
    const int rows = master_->RecordCount();
    const QString count =
        master_->AllFetched() ? tr("%1 read").arg(Rows(rows)) : tr("Rows are read as you scroll");
    status_->setText(count);
    // The worker is still finishing while it tells us: the catalog, the text
    // column and the detail are read once it has let go of the query.
    QTimer::singleShot(0, this, [this, count] {
      if (!master_->Active()) return;  // closed meanwhile by a new statement
      status_->setText(count + "; " + ChooseUpdateTarget(*master_, master_target_));
      ShowBlobFields();
      if (!detail_sql_->toPlainText().trimmed().isEmpty()) RunDetail();
      emit Finished();
    });
    return;
  } else {
    // A statement that reports no count (CREATE TABLE) affected no rows as such.
    const int affected = master_->RowsAffected();
    status_->setText(affected < 0 ? tr("Done") : tr("%1 affected").arg(Rows(affected)));
  }
  emit Finished();
}

QString ExplorerWindow::ChooseUpdateTarget(TTessel& query, UpdateTarget& target) {
  target = {};
  if (query.FieldCount() > 0) {
    try {
      target = FindUpdateTarget(server_.get(), query.SQL()->Text(), query);
    } catch (const Exception& error) {
      target = {};
      target.why_not = "the catalog could not be read: " + error.Message();
    }
  } else {
    target.why_not = "the statement returned no rows";
  }
  if (target.table.empty()) {
    query.SetUpdateParams(nullptr);
  } else {
    TUpdateParams params;
    params.SetTableName(target.table);
    for (const std::string& key : target.keys) params.KeyFields()->Add(key);
    for (const std::string& column : target.columns) params.UpdateFields()->Add(column);
    query.SetUpdateParams(&params);
  }
  // The navigators look at the query again: it may now take edits.
  navigator_->SetDataSource(master_source_.get());
  detail_navigator_->SetDataSource(detail_source_.get());
  if (target.table.empty()) return tr("read-only: %1").arg(QString::fromStdString(target.why_not));
  std::string keys;
  for (const std::string& key : target.keys) keys += (keys.empty() ? "" : ", ") + key;
  return tr("edits are written to %1 (key %2)")
      .arg(QString::fromStdString(target.table), QString::fromStdString(keys));
}

void ExplorerWindow::PostPending() {
  for (TTessel* query : {master_.get(), detail_.get()}) {
    if (query->State() == dsEdit || query->State() == dsInsert) query->CheckBrowseMode();
  }
}

void ExplorerWindow::closeEvent(QCloseEvent* event) {
  if (!controls::RunReportingErrors(this, [&] { PostPending(); }) &&
      !controls::Confirm(this, tr("The edited row was not saved. Close anyway?"))) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void ExplorerWindow::Failed(const std::string& message) {
  SetRunning(false);
  const int number = master_->AsyncErrorCode();
  status_->setText(number > 0 ? tr("Failed: error %1").arg(number) : tr("Failed"));
  controls::ShowDataError(this, UserMessage(message, number));
  emit Finished();
}

void ExplorerWindow::Progress(int rows) {
  status_->setText(tr("%1 read so far...").arg(Rows(rows)));
}

bool ExplorerWindow::ExportResult(apps::ExportFormat format, const QString& path) {
  if (!master_->Active() || Running()) {
    status_->setText(tr("Nothing to export: run a query first"));
    return false;
  }
  std::ostringstream text;
  int rows = 0;
  const bool read = controls::RunReportingErrors(this, [&] {
    PostPending();
    // The grid and the detail stay where the user had them.
    master_->DisableControls();
    const TBookmark place = master_->GetBookmark();
    try {
      rows = apps::WriteRows(*master_, format, text);
    } catch (...) {
      if (!place.empty()) master_->GotoBookmark(place);
      master_->EnableControls();
      throw;
    }
    if (!place.empty()) master_->GotoBookmark(place);
    master_->EnableControls();
  });
  if (!read) {
    status_->setText(tr("Export failed"));
    return false;
  }
  QFile file(path);
  const std::string bytes = text.str();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
    status_->setText(tr("Export failed"));
    controls::ShowDataError(this, tr("Cannot write %1: %2").arg(path, file.errorString()));
    return false;
  }
  status_->setText(tr("%1 exported to %2").arg(Rows(rows), path));
  return true;
}

void ExplorerWindow::UseHistoryFile(const QString& path) {
  QString why;
  if (!history_.UseFile(path, why))
    status_->setText(tr("History kept for this session only: %1").arg(why));
  FillHistoryMenu();
}

void ExplorerWindow::OlderStatement() {
  const QString statement = history_.Older();
  if (!statement.isNull()) sql_->setPlainText(statement);
}

void ExplorerWindow::NewerStatement() {
  const QString statement = history_.Newer();
  if (!statement.isNull()) sql_->setPlainText(statement);
}

void ExplorerWindow::ShowBlobFields() {
  blob_field_->clear();
  for (int i = 0; i < master_->FieldCount(); ++i) {
    TField* field = (*master_->Fields())[i];
    if (field->IsBlob()) blob_field_->addItem(QString::fromStdString(field->FieldName()));
  }
  blob_field_->setEnabled(blob_field_->count() > 0);
  if (blob_field_->count() == 0) {
    memo_->SetFieldName("");
    image_->SetFieldName("");
  }
}

void ExplorerWindow::ChooseBlobField(int index) {
  if (index < 0) return;
  const std::string name = blob_field_->itemText(index).toStdString();
  TField* field = master_->FindField(name);
  const bool picture = field != nullptr && field->DataType() != ftMemo;
  memo_->setVisible(!picture);
  image_->setVisible(picture);
  memo_->SetFieldName(picture ? "" : name);
  image_->SetFieldName(picture ? name : "");
}

void ExplorerWindow::RunDetail() {
  const std::string sql = detail_sql_->toPlainText().trimmed().toStdString();
  if (sql.empty()) return;
  controls::RunReportingErrors(this, [&] {
    PostPending();
    detail_->Close();
    detail_target_ = {};
    detail_->SetUpdateParams(nullptr);
    detail_->SetDataSource(nullptr);
    detail_->SQL()->SetText(sql);
    if (master_->Active()) detail_->SetDataSource(master_source_.get());
    detail_->Open();
    detail_status_->setText(ChooseUpdateTarget(*detail_, detail_target_));
  });
}

}  // namespace tessel::explorer

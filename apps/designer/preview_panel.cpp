#include "preview_panel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/data_grid.h"
#include "controls/data_navigator.h"
#include "elided_label.h"
#include "form_document.h"
#include "framework/form_files.h"
#include "framework/string_list.h"
#include "runtime/Tessel.h"
#include "statement_kind.h"

namespace tessel::designer {

PreviewPanel::PreviewPanel(FormDocument& document, QWidget* parent)
    : QWidget(parent),
      document_(document),
      queries_(new QComboBox(this)),
      run_(new QPushButton("&Open", this)),
      stop_(new QPushButton("&Close", this)),
      status_(new ElidedLabel(this)),
      details_(new QPushButton("&Details...", this)),
      grid_(new controls::DataGrid(this)),
      navigator_(new controls::DataNavigator(this)) {
  setObjectName("Preview");
  queries_->setObjectName("queries");
  queries_->setMinimumWidth(140);
  run_->setObjectName("open");
  stop_->setObjectName("close");
  status_->setObjectName("status");
  details_->setObjectName("details");
  details_->hide();
  // The navigator keeps its buttons whole whatever the status line says.
  navigator_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel("Query:", this));
  bar->addWidget(queries_);
  bar->addWidget(run_);
  bar->addWidget(stop_);
  bar->addWidget(navigator_);
  bar->addWidget(status_, 1);
  bar->addWidget(details_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(bar);
  layout->addWidget(grid_, 1);

  connect(run_, &QPushButton::clicked, this, [this] { Run(queries_->currentText()); });
  connect(stop_, &QPushButton::clicked, this, &PreviewPanel::Stop);
  connect(details_, &QPushButton::clicked, this, &PreviewPanel::ShowDetails);
  connect(&document_, &FormDocument::Changed, this, &PreviewPanel::FillQueryList);
  // Undo and paste rebuild the designed form; the running copy stays.
  connect(&document_, &FormDocument::FormRestored, this, &PreviewPanel::FillQueryList);
  connect(&document_, &FormDocument::FormReplaced, this, [this] {
    Stop();
    FillQueryList();
  });
  FillQueryList();
  stop_->setEnabled(false);
}

PreviewPanel::~PreviewPanel() {
  Stop();
}

QString PreviewPanel::Status() const {
  return status_->FullText();
}

void PreviewPanel::ShowStatus(const QString& text, bool error) {
  status_->SetFullText(text);
  status_->setStyleSheet(error ? "color: #b00000" : "");
  details_->setVisible(error);
}

void PreviewPanel::ShowDetails() {
  QMessageBox box(QMessageBox::Warning, "Preview", status_->FullText(), QMessageBox::Ok, this);
  box.setObjectName("PreviewDetails");
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.exec();
}

bool PreviewPanel::MayRun(const QString& query_name) {
  const auto* designed =
      dynamic_cast<const TTessel*>(document_.Root()->FindComponent(query_name.toStdString()));
  if (designed == nullptr) return true;  // Run reports the missing query
  const std::optional<std::string> word = DataChangingWord(designed->SQL()->Text());
  if (!word) return true;
  const auto answer = QMessageBox::question(
      this, "Preview",
      QString("The SQL of %1 may change data on the server (it holds %2). Run it anyway?")
          .arg(query_name, QString::fromStdString(*word)),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  return answer == QMessageBox::Yes;
}

void PreviewPanel::FillQueryList() {
  const QString chosen = queries_->currentText();
  queries_->clear();
  for (TComponent* component : document_.Components()) {
    if (dynamic_cast<TTessel*>(component) != nullptr) {
      queries_->addItem(QString::fromStdString(component->Name()));
    }
  }
  if (!chosen.isEmpty() && queries_->findText(chosen) >= 0) queries_->setCurrentText(chosen);
  run_->setEnabled(queries_->count() > 0);
}

bool PreviewPanel::Run(const QString& query_name) {
  Stop();
  if (queries_->findText(query_name) >= 0) queries_->setCurrentText(query_name);
  if (!MayRun(query_name)) {
    ShowStatus(QString("%1 was not run: its SQL may change data").arg(query_name), false);
    return false;
  }
  try {
    // The copy is an application's form: not designing, events unbound.
    TFormReadOptions options;
    options.bind_events = false;
    form_ = ReadComponentText(WriteComponentText(*document_.Root()), "preview", options);
    query_ = dynamic_cast<TTessel*>(form_->FindComponent(query_name.toStdString()));
    if (query_ == nullptr)
      throw Exception("The form has no query named " + query_name.toStdString());
    if (!query_->Active()) query_->Open();
  } catch (const std::exception& error) {
    Stop();
    ShowStatus(QString::fromStdString(error.what()), true);
    return false;
  }
  if (query_->FieldCount() == 0) {
    // A statement without a result: nothing for the grid, nothing to edit.
    const int affected = query_->RowsAffected();
    Stop();
    ShowStatus(QString("%1 ran: %2 row(s) affected, no rows to show").arg(query_name).arg(affected),
               false);
    return true;
  }
  source_ = std::make_unique<TDataSource>(nullptr);
  source_->SetDataSet(query_);
  grid_->SetDataSource(source_.get());
  navigator_->SetDataSource(source_.get());
  ShowStatus(QString("%1 open").arg(query_name), false);
  stop_->setEnabled(true);
  return true;
}

void PreviewPanel::Stop() {
  grid_->SetDataSource(nullptr);
  navigator_->SetDataSource(nullptr);
  source_.reset();
  query_ = nullptr;
  form_.reset();
  ShowStatus({}, false);
  stop_->setEnabled(false);
}

}  // namespace tessel::designer

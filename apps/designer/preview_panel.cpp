#include "preview_panel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/data_grid.h"
#include "controls/data_navigator.h"
#include "form_document.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"

namespace tessel::designer {

PreviewPanel::PreviewPanel(FormDocument& document, QWidget* parent)
    : QWidget(parent),
      document_(document),
      queries_(new QComboBox(this)),
      run_(new QPushButton("&Open", this)),
      stop_(new QPushButton("&Close", this)),
      status_(new QLabel(this)),
      grid_(new controls::DataGrid(this)),
      navigator_(new controls::DataNavigator(this)) {
  setObjectName("Preview");
  queries_->setObjectName("queries");
  queries_->setMinimumWidth(140);
  run_->setObjectName("open");
  stop_->setObjectName("close");
  status_->setObjectName("status");
  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel("Query:", this));
  bar->addWidget(queries_);
  bar->addWidget(run_);
  bar->addWidget(stop_);
  bar->addWidget(navigator_);
  bar->addWidget(status_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(bar);
  layout->addWidget(grid_, 1);

  connect(run_, &QPushButton::clicked, this, [this] { Run(queries_->currentText()); });
  connect(stop_, &QPushButton::clicked, this, &PreviewPanel::Stop);
  connect(&document_, &FormDocument::Changed, this, &PreviewPanel::FillQueryList);
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
  return status_->text();
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
  try {
    // The copy is an application's form: not designing, events unbound.
    TFormReadOptions options;
    options.bind_events = false;
    form_ = ReadComponentText(WriteComponentText(*document_.Root()), "preview", options);
    query_ = dynamic_cast<TTessel*>(form_->FindComponent(query_name.toStdString()));
    if (query_ == nullptr)
      throw Exception("The form has no query named " + query_name.toStdString());
    source_ = std::make_unique<TDataSource>(nullptr);
    source_->SetDataSet(query_);
    if (!query_->Active()) query_->Open();
    grid_->SetDataSource(source_.get());
    navigator_->SetDataSource(source_.get());
  } catch (const std::exception& error) {
    Stop();
    status_->setText(QString::fromStdString(error.what()));
    status_->setStyleSheet("color: #b00000");
    return false;
  }
  status_->setStyleSheet(QString());
  status_->setText(QString("%1 open").arg(query_name));
  stop_->setEnabled(true);
  return true;
}

void PreviewPanel::Stop() {
  grid_->SetDataSource(nullptr);
  navigator_->SetDataSource(nullptr);
  source_.reset();
  query_ = nullptr;
  form_.reset();
  status_->clear();
  stop_->setEnabled(false);
}

}  // namespace tessel::designer

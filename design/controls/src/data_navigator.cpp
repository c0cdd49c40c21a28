#include "controls/data_navigator.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

#include "controls/data_error.h"
#include "controls/field_link.h"

namespace tessel::controls {

class NavigatorLink : public TDataLink {
 public:
  explicit NavigatorLink(DataNavigator* navigator) : navigator_(navigator) {}

 protected:
  void ActiveChanged() override { navigator_->UpdateButtons(); }
  void DataSetChanged() override { navigator_->UpdateButtons(); }
  void DataSetScrolled(int /*distance*/) override { navigator_->UpdateButtons(); }
  void EditingChanged() override { navigator_->UpdateButtons(); }

 private:
  DataNavigator* navigator_;
};

namespace {

struct ButtonLook {
  const char* text;
  const char* tip;
};

constexpr ButtonLook kLooks[kNavigateButtons] = {
    {"|<", "First record"},      {"<", "Prior record"},  {">", "Next record"},
    {">|", "Last record"},       {"+", "Insert record"}, {"-", "Delete record"},
    {"Edit", "Edit record"},     {"Post", "Post edit"},  {"Cancel", "Cancel edit"},
    {"Refresh", "Refresh data"},
};

// Runs the query again and comes back to the same record number.
void Reopen(TDataSet* dataset) {
  dataset->CheckBrowseMode();
  const int recno = dataset->RecNo();
  dataset->DisableControls();
  try {
    dataset->Close();
    dataset->Open();
    if (recno > 1) dataset->MoveBy(recno - 1);
  } catch (...) {
    dataset->EnableControls();
    throw;
  }
  dataset->EnableControls();
}

}  // namespace

DataNavigator::DataNavigator(QWidget* parent)
    : QWidget(parent), link_(std::make_unique<NavigatorLink>(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  for (int i = 0; i < kNavigateButtons; ++i) {
    auto* button = new QToolButton(this);
    button->setText(tr(kLooks[i].text));
    button->setToolTip(tr(kLooks[i].tip));
    button->setMinimumWidth(28);
    connect(button, &QToolButton::clicked, this,
            [this, i] { Click(static_cast<NavigateButton>(i)); });
    layout->addWidget(button);
    buttons_[i] = button;
  }
  layout->addStretch();
  UpdateButtons();
}

DataNavigator::~DataNavigator() {
  link_->SetDataSource(nullptr);
}

TDataSource* DataNavigator::DataSource() const {
  return link_->DataSource();
}

void DataNavigator::SetDataSource(TDataSource* source) {
  link_->SetDataSource(source);
  UpdateButtons();
}

void DataNavigator::UpdateButtons() {
  const bool active = link_->Active();
  TDataSet* dataset = active ? link_->DataSet() : nullptr;
  const bool editing = active && link_->Editing();
  const bool can_modify = LinkCanModify(*link_);
  const bool up = active && !dataset->Bof();
  const bool down = active && !dataset->Eof();
  const bool empty = active && dataset->IsEmpty();
  const bool enabled[kNavigateButtons] = {
      up,
      up,
      down,
      down,
      can_modify,
      can_modify && !empty,
      can_modify && !editing,
      can_modify && editing,
      can_modify && editing,
      active && !editing,
  };
  for (int i = 0; i < kNavigateButtons; ++i) buttons_[i]->setEnabled(enabled[i]);
}

void DataNavigator::Click(NavigateButton which) {
  if (!link_->Active()) return;
  TDataSet* dataset = link_->DataSet();
  RunReportingErrors(this, [&] {
    switch (which) {
      case NavigateButton::First:
        dataset->First();
        break;
      case NavigateButton::Prior:
        dataset->Prior();
        break;
      case NavigateButton::Next:
        dataset->Next();
        break;
      case NavigateButton::Last:
        dataset->Last();
        break;
      case NavigateButton::Insert:
        dataset->Insert();
        break;
      case NavigateButton::Delete:
        if (Confirm(this, tr("Delete record?"))) dataset->Delete();
        break;
      case NavigateButton::Edit:
        dataset->Edit();
        break;
      case NavigateButton::Post:
        dataset->Post();
        break;
      case NavigateButton::Cancel:
        dataset->Cancel();
        break;
      case NavigateButton::Refresh:
        Reopen(dataset);
        break;
    }
  });
  UpdateButtons();
}

}  // namespace tessel::controls

#include "order_window.h"

#include <QDate>
#include <QDir>
#include <QPushButton>
#include <QStatusBar>

#include "controls/data_error.h"
#include "framework/datasource.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "order_total.h"

namespace order_entry {

using namespace tessel;

namespace {

template <typename Component>
Component& Named(TComponent& module, const char* name) {
  auto* component = dynamic_cast<Component*>(module.FindComponent(name));
  if (component == nullptr) throw EComponentError(std::string("The data module has no ") + name);
  return *component;
}

bool Editing(const TDataSet& data) {
  return data.State() == dsEdit || data.State() == dsInsert;
}

Decimal Negated(const Decimal& value) {
  return Decimal::FromParts(!value.IsNegative() && value.Magnitude() != 0, value.Magnitude(),
                            value.Scale());
}

}  // namespace

OrderWindow::OrderWindow(const QString& screen_dir, const Login& login, QWidget* parent)
    : QMainWindow(parent) {
  status_ = new QLabel(this);
  statusBar()->addWidget(status_, 1);
  // A refused value is told on the status line; a message box would stop
  // the typing and hide what was typed.
  controls::SetDataErrorHandler([this](QWidget*, const QString& message) { ShowError(message); });

  TFormReadOptions options;
  options.before_loaded = [&login](TComponent& root) {
    for (int i = 0; i < root.ComponentCount(); ++i) {
      if (auto* server = dynamic_cast<TSQLServer*>(root.Components(i))) {
        server->SetServerName(login.server);
        server->SetUsername(login.user);
        server->SetPassword(login.password);
        server->SetDataBaseName(login.database);
      }
    }
  };
  const QDir dir(screen_dir);
  screen_ = controls::LoadScreen(dir.filePath("order_entry.ui"), dir.filePath("order_entry.tfm"),
                                 nullptr, options);
  QWidget* screen = screen_->Widget();
  setWindowTitle(screen->windowTitle());
  resize(screen->size());
  setCentralWidget(screen);  // still deleted by the screen, before its data module
  for (const controls::ScreenProblem& problem : screen_->Problems()) ShowError(problem.Message());

  TComponent& module = *screen_->DataModule();
  orders_ = &Named<TTessel>(module, "OrdersQuery");
  lines_ = &Named<TTessel>(module, "LinesQuery");
  total_ = Find<QLabel>("totalValue");
  if (total_ == nullptr) total_ = new QLabel(this);  // a screen without one: kept out of sight

  auto& lines_source = Named<TDataSource>(module, "LinesSource");
  lines_source.OnDataChange = [this](TDataSource*, TField*) { UpdateTotal(); };
  lines_source.OnStateChange = [this](TObject*) { UpdateTotal(); };
  orders_->OnNewRecord = [this](TDataSet*) { NewOrder(); };
  lines_->OnNewRecord = [this](TDataSet*) { NewLine(); };
  if (auto* post = Find<QPushButton>("postButton"))
    connect(post, &QPushButton::clicked, this, [this] { PostAll(); });
  if (auto* cancel = Find<QPushButton>("cancelButton"))
    connect(cancel, &QPushButton::clicked, this, [this] { CancelAll(); });
  UpdateTotal();
}

OrderWindow::~OrderWindow() {
  controls::SetDataErrorHandler(nullptr);
  if (screen_ != nullptr && screen_->DataModule() != nullptr) {
    auto* lines_source =
        dynamic_cast<TDataSource*>(screen_->DataModule()->FindComponent("LinesSource"));
    if (lines_source != nullptr) {
      lines_source->OnDataChange = nullptr;
      lines_source->OnStateChange = nullptr;
    }
  }
}

const std::vector<controls::ScreenProblem>& OrderWindow::Problems() const {
  return screen_->Problems();
}

QString OrderWindow::StatusText() const {
  return status_->text();
}

void OrderWindow::ShowError(const QString& message) {
  status_->setStyleSheet(QStringLiteral("color: #b00020;"));
  status_->setText(message);
}

bool OrderWindow::PostAll() {
  try {
    // The line first: posting the order moves the lines to follow it.
    for (TTessel* data : {lines_, orders_}) {
      if (Editing(*data)) data->Post();
    }
  } catch (const EAbort&) {
    return false;  // a control refused its value and has said why
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
    return false;
  }
  status_->setStyleSheet({});
  status_->setText(tr("Posted"));
  return true;
}

void OrderWindow::CancelAll() {
  try {
    for (TTessel* data : {lines_, orders_}) {
      if (Editing(*data)) data->Cancel();
    }
    status_->setStyleSheet({});
    status_->setText(tr("Changes cancelled"));
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
  }
}

void OrderWindow::UpdateTotal() {
  if (summing_ || lines_ == nullptr) return;
  try {
    if (!lines_->Active()) {
      lines_sum_ = {};
      edited_from_ = {};
      last_line_no_ = 0;
    } else if (Editing(*lines_)) {
      // An inserted line adds to the sum; an edited one replaces its amount.
      const Decimal others =
          lines_->State() == dsInsert ? lines_sum_ : Add(lines_sum_, Negated(edited_from_));
      total_->setText(QString::fromStdString(MoneyText(Add(others, LineAmount(*lines_)))));
      return;
    } else {
      // The dataset is walked with its controls held still, and this
      // handler kept out of the changes the walk reports.
      summing_ = true;
      Decimal sum;
      int last = 0;
      lines_->DisableControls();
      try {
        const TBookmark place = lines_->GetBookmark();
        for (lines_->First(); !lines_->Eof(); lines_->Next()) {
          sum = Add(sum, LineAmount(*lines_));
          last = std::max(last, lines_->FieldByName("line_no")->AsInteger());
        }
        if (!place.empty()) lines_->GotoBookmark(place);
      } catch (...) {
        lines_->EnableControls();
        summing_ = false;
        throw;
      }
      lines_->EnableControls();
      summing_ = false;
      lines_sum_ = sum;
      last_line_no_ = last;
      edited_from_ = lines_->IsEmpty() ? Decimal() : LineAmount(*lines_);
    }
    total_->setText(QString::fromStdString(MoneyText(lines_sum_)));
  } catch (const std::exception& error) {
    total_->setText(QStringLiteral("?"));
    ShowError(QString::fromStdString(error.what()));
  }
}

void OrderWindow::NewOrder() {
  TTessel next(nullptr);
  next.SetSQLServer(orders_->DataBaseName());
  next.SQL()->SetText("SELECT MAX(order_id) AS last_id FROM orders");
  next.Open();
  TField* last = next.FieldByName("last_id");
  orders_->FieldByName("order_id")->SetAsInteger(last->IsNull() ? 1001 : last->AsInteger() + 1);
  orders_->FieldByName("order_date")
      ->SetAsString(QDate::currentDate().toString(Qt::ISODate).toStdString());
}

void OrderWindow::NewLine() {
  lines_->FieldByName("order_id")->SetAsInteger(orders_->FieldByName("order_id")->AsInteger());
  lines_->FieldByName("line_no")->SetAsInteger(last_line_no_ + 1);
}

}  // namespace order_entry

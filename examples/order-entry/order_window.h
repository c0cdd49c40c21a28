#pragma once

// The order-entry example's main window: the screen drawn in
// order_entry.ui, bound to the data module of order_entry.tfm (customers,
// orders with their lines, products), with the order's total kept exact as
// lines change, Post and Cancel for the order and its lines, and every error
// shown on the window's status line. Main thread only.

#include <QLabel>
#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "controls/screen_loader.h"
#include "framework/decimal.h"
#include "runtime/Tessel.h"

namespace order_entry {

// Where the program logs in; it replaces what the form file holds.
struct Login {
  std::string server = "127.0.0.1:1433";
  std::string user = "sa";
  std::string password;
  std::string database = "tessel";
};

class OrderWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Reads order_entry.ui and order_entry.tfm from screen_dir and connects;
  // raises what reading the form or logging in raised.
  OrderWindow(const QString& screen_dir, const Login& login, QWidget* parent = nullptr);
  ~OrderWindow() override;

  // Names in the .ui file that did not resolve (none, when all is well).
  const std::vector<tessel::controls::ScreenProblem>& Problems() const;
  tessel::TTessel& Orders() const { return *orders_; }
  tessel::TTessel& Lines() const { return *lines_; }
  // A widget of the screen by its object name; null when there is none.
  template <typename Widget>
  Widget* Find(const char* name) const {
    return screen_->Widget()->findChild<Widget*>(QString::fromLatin1(name));
  }

  // Writes what the controls hold and posts the line, then the order, when
  // they are being edited; false, with the reason on the status line, when
  // the server or a field refused it.
  bool PostAll();
  // Drops the line's and the order's unposted changes.
  void CancelAll();
  QString TotalText() const { return total_->text(); }
  QString StatusText() const;

 private:
  void ShowError(const QString& message);
  // Sums the lines again (between edits), or adds the edited line's amount
  // to the sum of the others (while one is edited).
  void UpdateTotal();
  void NewOrder();
  void NewLine();

  std::unique_ptr<tessel::controls::DataScreen> screen_;
  tessel::TTessel* orders_ = nullptr;
  tessel::TTessel* lines_ = nullptr;
  QLabel* total_ = nullptr;
  QLabel* status_ = nullptr;
  tessel::Decimal lines_sum_;    // all lines, as last read between edits
  tessel::Decimal edited_from_;  // the edited line's amount when its edit began
  int last_line_no_ = 0;         // the highest line number of the order
  bool summing_ = false;
};

}  // namespace order_entry

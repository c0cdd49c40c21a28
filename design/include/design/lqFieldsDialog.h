#pragma once

// TlqFieldsDialog: the modal dialog behind a query's "Fields..." command,
// listing its persistent fields in order. Add fields reads the columns the
// query returns through its connection component (putting Connected back as
// it found it) and offers those without a field; New field makes a data,
// calculated or lookup field; Delete and Move up/down act on the chosen one.
// Each change is made at once and told to the designer as one change; what
// goes wrong (the server's message when the query cannot be run, a dataset
// that does not open again with its new fields) is said in the dialog's
// message line. GUI thread only.

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QPushButton;

namespace tessel {

class TFormDesigner;
class TTessel;

class TlqFieldsDialog : public QDialog {
  Q_OBJECT

 public:
  // query: the dataset edited; designer (may be null) hears of each change.
  // Neither is owned.
  TlqFieldsDialog(TTessel* query, TFormDesigner* designer, QWidget* parent = nullptr);
  ~TlqFieldsDialog() override;

  // What the message line says now (empty: nothing went wrong).
  QString MessageText() const;

 private:
  void BuildControls();
  void FillList(int current);
  void AddFieldsClick();
  void NewFieldClick();
  void DeleteClick();
  void MoveClick(int by);
  // Runs change on the closed query, then Changed; what change raises is
  // said in the message line and the form is left as it was.
  void Apply(const std::function<void()>& change, const std::string& what, int current);
  // Tells the designer of a change made, named `what` ("Delete field
  // Query1name"), and shows the fields with `current` chosen; reopen is why
  // the query did not open again (empty: it did).
  void Changed(const std::string& reopen, const std::string& what, int current);
  void Say(const std::string& text);

  TTessel* FQuery;
  TFormDesigner* FDesigner;
  QListWidget* FieldList = nullptr;
  QLabel* Message = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnNew = nullptr;
  QPushButton* btnDelete = nullptr;
  QPushButton* btnUp = nullptr;
  QPushButton* btnDown = nullptr;
  QPushButton* btnClose = nullptr;
};

}  // namespace tessel

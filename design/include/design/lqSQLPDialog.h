#pragma once

// TlqParamsDialog: the modal dialog in which a designer edits the parameters
// of a query: it adds every name the query's SQL text refers to and the list
// lacks, then lets the designer pick a parameter and set its data type, its
// value or a null value.
//
// It works only on the parameter list it is given (owned by the caller, who
// copies it back into the query after OK); the query is read for its SQL
// text and names and is never changed. GUI thread only.

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

#include "framework/db_types.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tessel {

class TParam;
class TParams;
class TTessel;

class TlqParamsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TlqParamsDialog(QWidget* parent = nullptr);

  // The working list the dialog edits; not owned.
  void SetParams(TParams* params) { FParams = params; }
  // The query whose SQL text and names the dialog reads; nullptr for a
  // parameter list that belongs to no query (nothing is then added from SQL).
  void SetQuery(const TTessel* query) { FQuery = query; }

  // Prepares the controls (FormShow) and shows the dialog modally; true when
  // it was closed with OK.
  bool Execute();
  // Fills the controls from the working list; Execute calls it.
  void FormShow();

  // Adds to List a parameter of unknown type and direction for every name
  // the SQL text refers to that List does not hold with exactly that
  // spelling; existing parameters stay as they are.
  static void CreateParams(TParams* List, const std::string& SQL);
  // The type list's index of a field type (-1 for a type it does not offer)
  // and back (ftUnknown for an index outside the list).
  static int FieldToIndex(TFieldType FieldType);
  static TFieldType IndexToField(int Index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  // Every parameter of the working list named exactly as the selected entry:
  // a name the SQL text uses twice has one parameter per use, and an edit
  // is meant for all of them.
  std::vector<TParam*> SelectedParams() const;
  void ParamListClick();
  void TypeComboClick(int index);
  void TypeComboBackspace();
  void edValueChange(const QString& text);
  void CheckBox1Click(bool checked);
  void btnOKClick();
  void ShowValueError(const std::string& message);

  TParams* FParams = nullptr;
  const TTessel* FQuery = nullptr;
  // Why the text in edValue could not be taken as a value; empty when it was.
  std::string FValueError;

  QGroupBox* GroupBox1 = nullptr;
  QListWidget* ParamList = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QComboBox* TypeCombo = nullptr;
  QLineEdit* edValue = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnHelp = nullptr;
};

}  // namespace tessel

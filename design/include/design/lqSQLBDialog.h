#pragma once

// TlqSQLBuildDialog: the modal dialog that writes an update object's three
// statements. It lists the user tables and the chosen table's columns from
// the server's catalog, generates INSERT, UPDATE and DELETE texts from the
// selected key and update columns, shows them for editing, and stores them
// in the update object on OK.
//
// The update object is not owned; the catalog is read through its query's
// connection component, whose Connected state the dialog puts back when it
// closes. GUI thread only.

#include <QDialog>

#include <memory>

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace tessel {

class TlqCatalogSession;
class TSQLUpdate;

class TlqSQLBuildDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TlqSQLBuildDialog(QWidget* parent = nullptr);
  ~TlqSQLBuildDialog() override;

  void SetUpdateObject(TSQLUpdate* update) { FUpdateSQL = update; }

  // FormShow, then the dialog modally; true when closed with OK. Raises
  // EDatabaseError when the update object serves no query or that query has
  // no connection component.
  bool Execute();
  // Shows the stored statements and reads the tables. A failed login or
  // catalog read is shown to the designer and leaves the table list empty;
  // the statements can still be edited by hand.
  void FormShow();

 protected:
  // Every way of closing ends the catalog session here.
  void done(int result) override;

 private:
  void BuildControls();
  void BuildGeneratePage();
  QPlainTextEdit* AddSQLPage(const char* page, const char* caption, const char* memo);
  void TableComboChange();
  void KeyListClick();
  void GenerateButtonClick();
  void btnOKClick();
  void FormClose();

  TSQLUpdate* FUpdateSQL = nullptr;
  std::unique_ptr<TlqCatalogSession> FCatalog;

  QTabWidget* PageControl = nullptr;
  QWidget* Generate = nullptr;
  QComboBox* TableCombo = nullptr;
  QComboBox* UpdateMode = nullptr;
  QPushButton* GenerateButton = nullptr;
  QListWidget* KeyList = nullptr;
  QListWidget* UpdateList = nullptr;
  QWidget* TInsertSQL = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPlainTextEdit* Memo3 = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
};

}  // namespace tessel

#pragma once

// TlqSQLUpdateDialog: the modal dialog that fills a query's update
// parameters (table, key fields, update fields, update mode) from the
// server's catalog. It edits a copy owned by the caller, who stores it in the
// query after OK, and reads the catalog through the query's connection
// component, whose Connected state it puts back when it closes. GUI thread
// only.

#include <QDialog>

#include <memory>

class QComboBox;
class QListWidget;
class QPushButton;

namespace tessel {

class TlqCatalogSession;
class TTessel;
class TUpdateParams;

class TlqSQLUpdateDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TlqSQLUpdateDialog(QWidget* parent = nullptr);
  ~TlqSQLUpdateDialog() override;

  // The query whose connection component is read; not owned.
  void SetQuery(TTessel* query) { FQuery = query; }
  // The copy being edited; not owned.
  void SetUpdateParams(TUpdateParams* params) { FUpdateParams = params; }

  // FormShow, then the dialog modally; true when closed with OK. Raises
  // EDatabaseError when the query has no connection component.
  bool Execute();
  // Reads the tables and shows the edited settings. A failed login or
  // catalog read is shown to the designer and leaves the lists empty, so
  // the dialog can still be closed; only a missing connection component
  // raises (EDatabaseError).
  void FormShow();

 protected:
  // Every way of closing (OK, Cancel, Escape, the window's close box) ends
  // the catalog session here.
  void done(int result) override;

 private:
  void BuildControls();
  void TableComboChange();
  void KeyListClick();
  void btnOKClick();
  void Button1Click();
  void FormClose();

  TTessel* FQuery = nullptr;
  TUpdateParams* FUpdateParams = nullptr;
  std::unique_ptr<TlqCatalogSession> FCatalog;

  QComboBox* TableCombo = nullptr;
  QComboBox* UpdateMode = nullptr;
  QListWidget* KeyList = nullptr;
  QListWidget* UpdateList = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* Button1 = nullptr;
};

}  // namespace tessel

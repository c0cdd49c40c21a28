#pragma once

// LoadScreen builds a data-entry screen from two files: a Qt Designer .ui
// file for the widgets and a form file for the data module behind them (a
// server, its queries, their data sources). It reads the form (which
// connects and opens what was saved connected and active), creates the
// widgets with QUiLoader, the data-aware ones included, and binds each
// data-aware widget to the data source its `dataSource` property names and
// to the field its `dataField` names (a lookup combo box also to its
// listSource, keyField and listField). A dataset a binding needs that is not
// open yet is opened, so that its fields can be checked.
//
// A name that does not resolve binds nothing and is reported with the file
// and the widget: a widget class QUiLoader cannot create, a data source that
// is not in the data module, a field its dataset does not have. A file that
// cannot be read at all raises EFormError. Built only when Qt's UiTools are
// there (TESSEL_HAVE_UITOOLS). Main thread only.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "framework/component.h"
#include "framework/form_files.h"

namespace tessel::controls {

class DataScreen;
std::unique_ptr<DataScreen> LoadScreen(const QString& ui_file, const QString& form_file,
                                       QWidget* parent, const TFormReadOptions& options);

struct ScreenProblem {
  enum class Kind { Widget, DataSource, Field };
  Kind kind;
  QString file;    // the file the name is in (the .ui file)
  QString widget;  // the widget's object name
  QString name;    // what did not resolve: a class, data source or field name
  QString reason;  // why, in words
  // "<file>: widget '<widget>': <reason>"
  QString Message() const;
};

// The widgets and the data module of a screen. The widgets go first, so no
// control outlives the data source it follows.
class DataScreen {
 public:
  DataScreen(std::unique_ptr<TComponent> data_module, QWidget* widget,
             std::vector<ScreenProblem> problems);
  ~DataScreen();
  DataScreen(const DataScreen&) = delete;
  DataScreen& operator=(const DataScreen&) = delete;

  // The top widget of the .ui file; owned here unless given a parent.
  QWidget* Widget() const { return widget_; }
  TComponent* DataModule() const { return data_module_.get(); }
  const std::vector<ScreenProblem>& Problems() const { return problems_; }

 private:
  friend std::unique_ptr<DataScreen> LoadScreen(const QString&, const QString&, QWidget*,
                                                const TFormReadOptions&);

  std::unique_ptr<TComponent> data_module_;
  QPointer<QWidget> widget_;
  std::vector<ScreenProblem> problems_;
};

// The form's classes must be registered (RegisterTesselClasses). options are
// handed to the form reader (a chance to set a login before connecting).
std::unique_ptr<DataScreen> LoadScreen(const QString& ui_file, const QString& form_file,
                                       QWidget* parent = nullptr,
                                       const TFormReadOptions& options = {});

}  // namespace tessel::controls

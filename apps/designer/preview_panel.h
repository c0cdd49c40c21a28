#pragma once

// The preview runs the form as an application would: it reads a copy of the
// designed form from its text (so nothing the preview does reaches the
// design-time components), opens the chosen query live against its server,
// and shows it in a data-aware grid with a navigator. Edits made in the grid
// go to the server. SQL that may change data (see statement_kind.h) runs
// only when the user says so. Failures are shown in the panel's status
// line, cut to the room it has; Details shows the whole message.
// Owns the running copy; refers to the document. GUI thread only.

#include <QWidget>
#include <memory>

#include "framework/component.h"
#include "framework/datasource.h"

class QComboBox;
class QPushButton;

namespace tessel {
class TTessel;
}

namespace tessel::controls {
class DataGrid;
class DataNavigator;
}  // namespace tessel::controls

namespace tessel::designer {

class ElidedLabel;
class FormDocument;

class PreviewPanel : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewPanel(FormDocument& document, QWidget* parent = nullptr);
  ~PreviewPanel() override;

  // Runs the form and opens the query of that name; false when it failed
  // or the user chose not to run SQL that changes data (Status says why).
  bool Run(const QString& query_name);
  // Closes the running copy.
  void Stop();

  QComboBox* QueryList() const { return queries_; }
  controls::DataGrid* Grid() const { return grid_; }
  controls::DataNavigator* Navigator() const { return navigator_; }
  // The whole status text, however much of it shows.
  QString Status() const;
  QPushButton* DetailsButton() const { return details_; }
  // The open query of the running copy, or null.
  TTessel* Query() const { return query_; }

 private:
  void FillQueryList();
  // Asks before SQL that may change data runs; false: the user declined.
  bool MayRun(const QString& query_name);
  void ShowStatus(const QString& text, bool error);
  void ShowDetails();

  FormDocument& document_;
  QComboBox* queries_;
  QPushButton* run_;
  QPushButton* stop_;
  ElidedLabel* status_;
  QPushButton* details_;
  controls::DataGrid* grid_;
  controls::DataNavigator* navigator_;
  std::unique_ptr<TComponent> form_;
  std::unique_ptr<TDataSource> source_;
  TTessel* query_ = nullptr;
};

}  // namespace tessel::designer

#pragma once

// DataNavigator is the row of buttons that moves through a dataset and edits
// it: first, prior, next, last, insert, delete, edit, post, cancel, refresh.
// Each button is enabled only when its action makes sense in the dataset's
// state (no "next" at the last record, "post" only while editing, nothing
// that changes data when the dataset cannot be modified). Delete asks for
// confirmation (Confirm). Refresh runs the query again and returns to the
// same record number. Failures are shown through ShowDataError.
// Owns its link; refers to the data source without owning it. Main thread.

#include <QWidget>
#include <array>
#include <memory>

#include "controls/data_control.h"
#include "framework/datasource.h"

class QToolButton;

namespace tessel::controls {

enum class NavigateButton { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
inline constexpr int kNavigateButtons = 10;

class NavigatorLink;

class DataNavigator : public QWidget, public DataControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)

 public:
  explicit DataNavigator(QWidget* parent = nullptr);
  ~DataNavigator() override;

  TDataSource* DataSource() const override;
  void SetDataSource(TDataSource* source) override;
  QToolButton* Button(NavigateButton which) const { return buttons_[static_cast<int>(which)]; }
  // Does what the button does, as a click would.
  void Click(NavigateButton which);

 private:
  friend class NavigatorLink;
  void UpdateButtons();

  std::unique_ptr<NavigatorLink> link_;
  std::array<QToolButton*, kNavigateButtons> buttons_{};
};

}  // namespace tessel::controls

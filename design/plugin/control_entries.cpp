#include "control_entries.h"

#include "controls/data_edits.h"
#include "controls/data_grid.h"
#include "controls/data_navigator.h"

namespace tessel::designer_plugin {
namespace {

template <typename Control>
QWidget* Make(QWidget* parent) {
  return new Control(parent);
}

constexpr ControlEntry kControlEntries[] = {
    {"tessel::controls::DataGrid", "controls/data_grid.h",
     "Shows the records of a data source in rows and edits them in place", false,
     &Make<controls::DataGrid>},
    {"tessel::controls::DataNavigator", "controls/data_navigator.h",
     "Buttons that move through, insert, delete, post and cancel records", false,
     &Make<controls::DataNavigator>},
    {"tessel::controls::DataLineEdit", "controls/data_edits.h",
     "Shows and edits one field of the current record on one line", false,
     &Make<controls::DataLineEdit>},
    {"tessel::controls::DataMemo", "controls/data_edits.h",
     "Shows and edits a text field of the current record", false, &Make<controls::DataMemo>},
    {"tessel::controls::DataImage", "controls/data_edits.h",
     "Shows an image field of the current record as a picture", false, &Make<controls::DataImage>},
};

}  // namespace

std::span<const ControlEntry> ControlEntries() {
  return kControlEntries;
}

}  // namespace tessel::designer_plugin

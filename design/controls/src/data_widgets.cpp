#include "controls/data_widgets.h"

#include <array>

#include "controls/data_check_box.h"
#include "controls/data_combo_boxes.h"
#include "controls/data_date_edits.h"
#include "controls/data_edits.h"
#include "controls/data_grid.h"
#include "controls/data_navigator.h"
#include "controls/data_number_edits.h"

namespace tessel::controls {

namespace {

template <typename Widget>
QWidget* Create(QWidget* parent) {
  return new Widget(parent);
}

constexpr const char* kNamespace = "tessel::controls::";

const std::array<DataWidgetClass, 13> kClasses{{
    {"tessel::controls::DataGrid", "controls/data_grid.h", "The records of a dataset as a table",
     &Create<DataGrid>},
    {"tessel::controls::DataNavigator", "controls/data_navigator.h",
     "Buttons that move through a dataset and edit it", &Create<DataNavigator>},
    {"tessel::controls::DataLineEdit", "controls/data_edits.h", "A field's value on one line",
     &Create<DataLineEdit>},
    {"tessel::controls::DataMemo", "controls/data_edits.h", "A text field on several lines",
     &Create<DataMemo>},
    {"tessel::controls::DataImage", "controls/data_edits.h", "An image field as a picture",
     &Create<DataImage>},
    {"tessel::controls::DataLabel", "controls/data_edits.h", "A field's display text",
     &Create<DataLabel>},
    {"tessel::controls::DataCheckBox", "controls/data_check_box.h",
     "A Boolean or yes/no field as a check box", &Create<DataCheckBox>},
    {"tessel::controls::DataComboBox", "controls/data_combo_boxes.h",
     "A field chosen from a fixed list", &Create<DataComboBox>},
    {"tessel::controls::DataLookupComboBox", "controls/data_combo_boxes.h",
     "A key field chosen by the text of a lookup dataset's record", &Create<DataLookupComboBox>},
    {"tessel::controls::DataDateEdit", "controls/data_date_edits.h", "A date field, null allowed",
     &Create<DataDateEdit>},
    {"tessel::controls::DataDateTimeEdit", "controls/data_date_edits.h",
     "A date-time field, null allowed", &Create<DataDateTimeEdit>},
    {"tessel::controls::DataSpinBox", "controls/data_number_edits.h", "An integer field",
     &Create<DataSpinBox>},
    {"tessel::controls::DataDecimalEdit", "controls/data_number_edits.h",
     "An exact decimal or money field", &Create<DataDecimalEdit>},
}};

}  // namespace

std::span<const DataWidgetClass> DataWidgetClasses() {
  return kClasses;
}

const DataWidgetClass* FindDataWidgetClass(const QString& name) {
  const QString full = name.contains(QLatin1String("::")) ? name : kNamespace + name;
  for (const DataWidgetClass& entry : DataWidgetClasses()) {
    if (full == QLatin1String(entry.class_name)) return &entry;
  }
  return nullptr;
}

}  // namespace tessel::controls

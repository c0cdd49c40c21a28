#include "controls/screen_loader.h"

#include <QFile>
#include <QMetaProperty>
#include <QUiLoader>

#include "controls/data_combo_boxes.h"
#include "controls/data_control.h"
#include "controls/data_widgets.h"
#include "framework/dataset.h"
#include "framework/datasource.h"

namespace tessel::controls {

namespace {

// QUiLoader with the data-aware widgets; records the classes it cannot make.
class DataUiLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& class_name, QWidget* parent, const QString& name) override {
    QWidget* widget = nullptr;
    if (const DataWidgetClass* data_class = FindDataWidgetClass(class_name)) {
      widget = data_class->create(parent);
      widget->setObjectName(name);
    } else {
      widget = QUiLoader::createWidget(class_name, parent, name);
    }
    if (widget == nullptr) unknown.push_back({class_name, name});
    return widget;
  }

  std::vector<std::pair<QString, QString>> unknown;  // class, widget name
};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// Binds the widgets of one screen, collecting what does not resolve.
class Binder {
 public:
  Binder(TComponent& data_module, QString ui_file)
      : data_module_(data_module), ui_file_(std::move(ui_file)) {}

  void Bind(QWidget& widget) {
    auto* control = dynamic_cast<DataControl*>(&widget);
    if (control == nullptr) return;
    const QString source_name = control->dataSource();
    if (source_name.isEmpty()) return;  // left unbound on purpose
    TDataSet* dataset = nullptr;
    TDataSource* source = Resolve(widget, source_name, "dataSource", dataset);
    if (source == nullptr) return;
    if (auto* field_control = dynamic_cast<FieldControl*>(control)) {
      if (!CheckField(widget, dataset, field_control->dataField(), "dataField", source_name)) {
        return;
      }
    }
    if (auto* lookup = dynamic_cast<DataLookupComboBox*>(&widget)) BindList(*lookup);
    control->SetDataSource(source);
  }

  std::vector<ScreenProblem> problems;

 private:
  void BindList(DataLookupComboBox& lookup) {
    TDataSet* dataset = nullptr;
    TDataSource* source = Resolve(lookup, lookup.listSource(), "listSource", dataset);
    if (source == nullptr) return;
    const bool key =
        CheckField(lookup, dataset, lookup.keyField(), "keyField", lookup.listSource());
    const bool list =
        CheckField(lookup, dataset, lookup.listField(), "listField", lookup.listSource());
    if (key && list) lookup.SetListSource(source);
  }

  // The data source called name, with its dataset open; null (reported) when
  // there is none or its dataset cannot be opened.
  TDataSource* Resolve(QWidget& widget, const QString& name, const char* property,
                       TDataSet*& dataset) {
    auto* source = dynamic_cast<TDataSource*>(data_module_.FindComponent(name.toStdString()));
    if (source == nullptr) {
      Report(ScreenProblem::Kind::DataSource, widget, name,
             QStringLiteral("%1 '%2' is not a data source of %3")
                 .arg(property, name, Text(data_module_.Name())));
      return nullptr;
    }
    dataset = source->DataSet();
    if (dataset == nullptr) {
      Report(ScreenProblem::Kind::DataSource, widget, name,
             QStringLiteral("%1 '%2' has no dataset").arg(property, name));
      return nullptr;
    }
    if (!dataset->Active()) {
      try {
        dataset->Open();
      } catch (const Exception& e) {
        Report(ScreenProblem::Kind::DataSource, widget, name,
               QStringLiteral("%1 '%2': its dataset does not open: %3")
                   .arg(property, name, Text(e.Message())));
        return nullptr;
      }
    }
    return source;
  }

  bool CheckField(QWidget& widget, TDataSet* dataset, const QString& field, const char* property,
                  const QString& source_name) {
    if (!field.isEmpty() && dataset->FindField(field.toStdString()) != nullptr) return true;
    Report(
        ScreenProblem::Kind::Field, widget, field,
        field.isEmpty()
            ? QStringLiteral("%1 is not set").arg(property)
            : QStringLiteral("%1 '%2' is not a field of '%3'").arg(property, field, source_name));
    return false;
  }

  void Report(ScreenProblem::Kind kind, QWidget& widget, const QString& name, QString reason) {
    problems.push_back({kind, ui_file_, widget.objectName(), name, std::move(reason)});
  }

  TComponent& data_module_;
  QString ui_file_;
};

}  // namespace

QString ScreenProblem::Message() const {
  return QStringLiteral("%1: widget '%2': %3").arg(file, widget, reason);
}

DataScreen::DataScreen(std::unique_ptr<TComponent> data_module, QWidget* widget,
                       std::vector<ScreenProblem> problems)
    : data_module_(std::move(data_module)), widget_(widget), problems_(std::move(problems)) {}

DataScreen::~DataScreen() {
  delete widget_.data();
}

std::unique_ptr<DataScreen> LoadScreen(const QString& ui_file, const QString& form_file,
                                       QWidget* parent, const TFormReadOptions& options) {
  std::unique_ptr<TComponent> data_module = ReadComponentFile(form_file.toStdString(), options);

  QFile file(ui_file);
  if (!file.open(QIODevice::ReadOnly)) {
    throw EFormError(ui_file.toStdString(), 0, file.errorString().toStdString());
  }
  DataUiLoader loader;
  QWidget* widget = loader.load(&file, parent);
  if (widget == nullptr) {
    throw EFormError(ui_file.toStdString(), 0, loader.errorString().toStdString());
  }

  auto screen =
      std::make_unique<DataScreen>(std::move(data_module), widget, std::vector<ScreenProblem>{});
  std::vector<ScreenProblem>& problems = screen->problems_;
  for (const auto& [class_name, name] : loader.unknown) {
    problems.push_back({ScreenProblem::Kind::Widget, ui_file, name, class_name,
                        QStringLiteral("class '%1' is not known").arg(class_name)});
  }
  Binder binder(*screen->DataModule(), ui_file);
  binder.Bind(*widget);
  for (QWidget* child : widget->findChildren<QWidget*>()) binder.Bind(*child);
  for (ScreenProblem& problem : binder.problems) problems.push_back(std::move(problem));
  return screen;
}

}  // namespace tessel::controls

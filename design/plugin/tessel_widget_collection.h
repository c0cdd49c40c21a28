#pragma once

// The plugin Qt Designer loads: a collection with one custom-widget
// description per data-aware control, all in the widget box's "Tessel"
// group. A description makes its control on demand; the controls' own
// properties (dataSource, dataField ...) appear in Designer's property editor.

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <memory>
#include <vector>

#include "controls/data_widgets.h"

namespace tessel::designer_plugin {

// Qt Designer's view of one control, read from the controls' own list of
// their classes (controls/data_widgets.h).
class ControlDescription : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  ControlDescription(const controls::DataWidgetClass& entry, QObject* parent);

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override;
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface*) override { initialized_ = true; }
  QString domXml() const override;

 private:
  const controls::DataWidgetClass& entry_;
  bool initialized_ = false;
};

class TesselWidgetCollection : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

 public:
  explicit TesselWidgetCollection(QObject* parent = nullptr);

  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;  // children of this object
};

}  // namespace tessel::designer_plugin

#include "tessel_widget_collection.h"

#include <QIcon>

namespace tessel::designer_plugin {

ControlDescription::ControlDescription(const controls::DataWidgetClass& entry, QObject* parent)
    : QObject(parent), entry_(entry) {}

QString ControlDescription::name() const {
  return QString::fromLatin1(entry_.class_name);
}

QString ControlDescription::group() const {
  return QStringLiteral("Tessel");
}

QString ControlDescription::toolTip() const {
  return QString::fromUtf8(entry_.tool_tip);
}

QString ControlDescription::whatsThis() const {
  return toolTip();
}

QString ControlDescription::includeFile() const {
  return QString::fromLatin1(entry_.header);
}

// Each control's own picture, by its class name without the namespace;
// the icons are built into the plugin (icons.qrc).
QIcon ControlDescription::icon() const {
  return QIcon(QStringLiteral(":/tessel/designer/icons/%1.png")
                   .arg(name().section(QStringLiteral("::"), -1)));
}

bool ControlDescription::isContainer() const {
  return false;
}

QWidget* ControlDescription::createWidget(QWidget* parent) {
  return entry_.create(parent);
}

// The object name Designer gives a new control: the class name without its
// namespace, first letter in lower case (dataLineEdit, dataGrid ...).
QString ControlDescription::domXml() const {
  QString object_name = name().section(QStringLiteral("::"), -1);
  object_name[0] = object_name[0].toLower();
  return QStringLiteral("<ui language=\"c++\"><widget class=\"%1\" name=\"%2\"/></ui>")
      .arg(name(), object_name);
}

TesselWidgetCollection::TesselWidgetCollection(QObject* parent) : QObject(parent) {
  for (const controls::DataWidgetClass& entry : controls::DataWidgetClasses())
    widgets_.append(new ControlDescription(entry, this));
}

}  // namespace tessel::designer_plugin

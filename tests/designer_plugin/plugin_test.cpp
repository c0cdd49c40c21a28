// The Qt Designer plugin as Qt Designer meets it: loaded by file name
// through QPluginLoader, asked for its widgets, each made once and its
// widget-box entry read as Designer reads it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDomDocument>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPluginLoader>
#include <QSet>
#include <QWidget>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <memory>

namespace {

QList<QDesignerCustomWidgetInterface*> LoadedWidgets(QPluginLoader& loader) {
  QObject* instance = loader.instance();
  if (instance == nullptr) return {};
  auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance);
  return collection != nullptr ? collection->customWidgets()
                               : QList<QDesignerCustomWidgetInterface*>{};
}

class DesignerPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    widgets_ = LoadedWidgets(loader_);
    ASSERT_FALSE(widgets_.isEmpty()) << "no widgets from " << TESSEL_DESIGNER_PLUGIN << ": "
                                     << loader_.errorString().toStdString();
  }
  QPluginLoader loader_{QStringLiteral(TESSEL_DESIGNER_PLUGIN)};
  QList<QDesignerCustomWidgetInterface*> widgets_;
};

TEST_F(DesignerPlugin, ListsEveryDataAwareControlOnceInTheTesselGroup) {
  QSet<QString> names;
  for (QDesignerCustomWidgetInterface* widget : widgets_) {
    EXPECT_EQ(widget->group(), "Tessel") << widget->name().toStdString();
    EXPECT_FALSE(widget->toolTip().isEmpty()) << widget->name().toStdString();
    names.insert(widget->name());
  }
  EXPECT_EQ(names.size(), widgets_.size()) << "a control is listed twice";
  for (const char* control : {"DataGrid", "DataNavigator", "DataLineEdit", "DataMemo", "DataImage",
                              "DataCheckBox", "DataComboBox", "DataLookupComboBox", "DataDateEdit",
                              "DataDateTimeEdit", "DataSpinBox", "DataDecimalEdit", "DataLabel"})
    EXPECT_TRUE(names.contains(QStringLiteral("tessel::controls::") + control)) << control;
}

// The widget box shows each control by its own icon, drawn for 22x22.
TEST_F(DesignerPlugin, EachControlHasAnIconOfItsOwn) {
  QList<QImage> seen;
  for (QDesignerCustomWidgetInterface* widget : widgets_) {
    SCOPED_TRACE(widget->name().toStdString());
    const QIcon icon = widget->icon();
    ASSERT_FALSE(icon.isNull());
    const QImage image = icon.pixmap(QSize(22, 22)).toImage();
    EXPECT_EQ(image.size(), QSize(22, 22));
    EXPECT_FALSE(seen.contains(image)) << "the same icon as another control";
    seen.append(image);
  }
}

// uic writes the class name and the include file into generated code, and
// Designer makes a widget from the description's XML: each must name the
// control that createWidget makes, and the header must exist.
TEST_F(DesignerPlugin, EachEntryMakesTheControlItNamesFromAHeaderThatExists) {
  for (QDesignerCustomWidgetInterface* widget : widgets_) {
    SCOPED_TRACE(widget->name().toStdString());
    std::unique_ptr<QWidget> made(widget->createWidget(nullptr));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(QString::fromLatin1(made->metaObject()->className()), widget->name());
    // Designer's property editor shows, and a loaded screen binds by, this.
    EXPECT_GE(made->metaObject()->indexOfProperty("dataSource"), 0);
    EXPECT_TRUE(
        QFileInfo::exists(QStringLiteral(TESSEL_CONTROLS_INCLUDE "/") + widget->includeFile()))
        << widget->includeFile().toStdString();

    QDomDocument xml;
    ASSERT_TRUE(xml.setContent(widget->domXml())) << widget->domXml().toStdString();
    const QDomElement element = xml.documentElement().firstChildElement(QStringLiteral("widget"));
    EXPECT_EQ(element.attribute(QStringLiteral("class")), widget->name());
    EXPECT_FALSE(element.attribute(QStringLiteral("name")).contains(QStringLiteral("::")));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs the program without ctest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

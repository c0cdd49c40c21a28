// Where components sit on the designed form: places recorded by placing and
// dragging come back from the saved file, and forms without places are laid
// out so that no icon covers another.

#include <QFile>
#include <map>

#include "designer_fixture.h"
#include "framework/form_files.h"

namespace tessel::testing {
namespace {

class DesignerLayout : public DesignerTest {
 protected:
  designer::ComponentIcon* IconOf(TComponent* component) const {
    return window->Canvas()->Icon(component);
  }
  void WriteFile(const QString& file, const char* text) {
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text);
  }
  // No two icons of the form overlap.
  void ExpectApart(designer::DesignerWindow& shown) {
    const std::vector<TComponent*> components = shown.Document().Components();
    for (std::size_t i = 0; i < components.size(); ++i) {
      for (std::size_t j = i + 1; j < components.size(); ++j) {
        EXPECT_FALSE(shown.Canvas()
                         ->Icon(components[i])
                         ->geometry()
                         .intersects(shown.Canvas()->Icon(components[j])->geometry()))
            << components[i]->Name() << " covers " << components[j]->Name();
      }
    }
  }
};

TEST_F(DesignerLayout, PlacedAndMovedComponentsReopenWhereTheyWere) {
  QTest::mouseClick(window->ComponentPalette()->Button("TSQLServer"), Qt::LeftButton);
  QTest::mouseClick(window->Canvas(), Qt::LeftButton, {}, QPoint(360, 240));
  Settle();
  ASSERT_EQ(Document().Components().size(), 1U);
  TComponent* server = Document().Components()[0];
  TComponent* query = PlaceFromPalette("TTessel");
  TComponent* update = PlaceFromPalette("TSQLUpdate");
  ASSERT_TRUE(query && update);
  ASSERT_TRUE(window->SaveForm(TempForm("moved")));

  const QPoint query_was = IconOf(query)->pos();
  Drag(query, QPoint(150, 210));
  EXPECT_EQ(IconOf(query)->pos(), query_was + QPoint(150, 210));
  EXPECT_TRUE(Document().IsModified());
  // Dragged past the corner: it stops short of it, so the place is kept.
  Drag(update, QPoint(-2000, -2000));
  EXPECT_GT(IconOf(update)->pos().x() + IconOf(update)->pos().y(), 0);

  std::map<std::string, QPoint> where;
  for (TComponent* component : {server, query, update}) {
    where[component->Name()] = IconOf(component)->pos();
  }
  const QString file = TempForm("moved");
  ASSERT_TRUE(window->SaveForm(file));
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray text = saved.readAll();
  EXPECT_TRUE(text.contains(QString("    Left = %1\n    Top = %2\n")
                                .arg(where["Tessel1"].x())
                                .arg(where["Tessel1"].y())
                                .toUtf8()))
      << text.toStdString();

  designer::DesignerWindow reopened;
  ASSERT_TRUE(reopened.OpenForm(file));
  ASSERT_EQ(reopened.Document().Components().size(), 3U);
  for (TComponent* component : reopened.Document().Components()) {
    ASSERT_NE(reopened.Canvas()->Icon(component), nullptr);
    EXPECT_EQ(reopened.Canvas()->Icon(component)->pos(), where[component->Name()])
        << component->Name();
  }
  EXPECT_FALSE(reopened.Document().IsModified());
  // A place is no property: the panel does not list it.
  reopened.Document().Select(reopened.Document().Components()[1]);
  Settle();
  EXPECT_EQ(reopened.Properties()->Row("Left"), nullptr);

  // Saved again unchanged, the file is the same.
  const QString again = TempForm("moved_again");
  ASSERT_TRUE(reopened.SaveForm(again));
  QFile second(again);
  ASSERT_TRUE(second.open(QIODevice::ReadOnly));
  EXPECT_EQ(second.readAll(), text);
}

TEST_F(DesignerLayout, FormsWithoutPlacesOpenWithIconsApart) {
  const QString file = TempForm("unplaced");
  WriteFile(file,
            "object DataModule1: TDataModule\n"
            "  object SQLServer1: TSQLServer\n"
            "  end\n"
            "  object Tessel1: TTessel\n"
            "    DataBaseName = SQLServer1\n"
            "  end\n"
            "  object Tessel2: TTessel\n"
            "  end\n"
            "  object SQLUpdate1: TSQLUpdate\n"
            "  end\n"
            "end\n");
  ASSERT_TRUE(window->OpenForm(file));
  ASSERT_EQ(Document().Components().size(), 4U);
  ExpectApart(*window);
  // What is shown is what a save keeps.
  for (TComponent* component : Document().Components()) {
    const QPoint at = IconOf(component)->pos();
    EXPECT_EQ(component->DesignInfo(), MakeDesignInfo(at.x(), at.y())) << component->Name();
  }
  EXPECT_FALSE(Document().IsModified());

  // Components without a place keep clear of those that have one, wherever
  // these are in the file.
  const QString mixed = TempForm("mixed");
  WriteFile(mixed,
            "object DataModule1: TDataModule\n"
            "  object SQLServer1: TSQLServer\n"
            "  end\n"
            "  object Tessel1: TTessel\n"
            "  end\n"
            "  object Tessel2: TTessel\n"
            "    Left = 16\n"
            "    Top = 16\n"
            "  end\n"
            "  object Tessel3: TTessel\n"
            "    Top = 200\n"
            "  end\n"
            "end\n");
  ASSERT_TRUE(window->OpenForm(mixed));
  ASSERT_EQ(Document().Components().size(), 4U);
  EXPECT_EQ(IconOf(Document().Components()[2])->pos(), QPoint(16, 16));
  EXPECT_EQ(IconOf(Document().Components()[3])->pos(), QPoint(0, 200));
  ExpectApart(*window);
}

}  // namespace
}  // namespace tessel::testing

// The order-entry data module in the designer: the lines' persistent fields
// listed under their query and not placed on the form, edited in the
// property panel, saved as they were read, and gone with their query.

#include <QComboBox>
#include <QFile>
#include <QRegularExpression>

#include "designer_fixture.h"

namespace tessel::testing {
namespace {

std::string FileText(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : std::string();
}

// The example's form without what acts as it is read (a connection, open
// queries), so that no server is asked.
std::string OfflineOrderEntry() {
  QString text = QString::fromStdString(FileText(TESSEL_ORDER_ENTRY_FORM));
  text.remove(QRegularExpression("\\n *(Connected|Active) = True"));
  return text.toStdString();
}

// The designer gives every component on the form a place; the rest is as read.
std::string WithoutPlaces(const std::string& text) {
  return QString::fromStdString(text)
      .remove(QRegularExpression("\\n *(Left|Top) = -?\\d+"))
      .toStdString();
}

TEST_F(DesignerTest, OrderEntryFieldsAreListedUnderTheirQueryEditedAndSavedAsRead) {
  const std::string text = OfflineOrderEntry();
  ASSERT_NE(text.find("object LinesQueryproduct: TStringField"), std::string::npos);
  const QString file = TempForm("order_entry");
  {
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text.data(), static_cast<qint64>(text.size()));
  }
  ASSERT_TRUE(window->OpenForm(file));

  auto* list = Properties().findChild<QComboBox*>("components");
  ASSERT_NE(list, nullptr);
  const QStringList items = Items(list);
  const int query = static_cast<int>(items.indexOf("LinesQuery: TTessel"));
  ASSERT_GE(query, 0) << items.join('|').toStdString();
  EXPECT_EQ(
      items.mid(query + 1, 7),
      QStringList({"    LinesQueryorder_id: TIntegerField", "    LinesQueryline_no: TIntegerField",
                   "    LinesQueryproduct_id: TIntegerField", "    LinesQueryproduct: TStringField",
                   "    LinesQueryquantity: TBCDField", "    LinesQueryprice: TBCDField",
                   "LinesSource: TDataSource"}));
  EXPECT_EQ(window->Canvas()->Icon(Named("LinesQueryproduct")), nullptr) << "listed, not placed";
  EXPECT_NE(window->Canvas()->Icon(Named("LinesQuery")), nullptr);

  const QString saved = TempForm("order_entry_saved");
  ASSERT_TRUE(window->SaveForm(saved));
  EXPECT_EQ(WithoutPlaces(FileText(saved)), text);

  // A field is chosen from the list and edited like any component.
  const int product = query + 4;
  list->setCurrentIndex(product);
  emit list->activated(product);
  Settle();
  ASSERT_EQ(Document().Selected(), Named("LinesQueryproduct"));
  Type("DisplayLabel", "Article");
  ASSERT_TRUE(window->SaveForm(saved));
  std::string edited = text;
  const std::size_t label = edited.find("DisplayLabel = 'Product'");
  ASSERT_NE(label, std::string::npos);
  edited.replace(label, 24, "DisplayLabel = 'Article'");
  EXPECT_EQ(WithoutPlaces(FileText(saved)), edited);

  // The query takes its fields with it, the selected one included.
  Document().DeleteComponent(Named("LinesQuery"));
  Settle();
  EXPECT_EQ(Named("LinesQueryproduct"), nullptr);
  EXPECT_EQ(Document().Selected(), nullptr);
  EXPECT_EQ(Document().Text().find("LinesQueryprice"), std::string::npos);
}

}  // namespace
}  // namespace tessel::testing

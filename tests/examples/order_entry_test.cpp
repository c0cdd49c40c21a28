// The order-entry example: its window opens from its .ui and form files with
// every name resolved, shows the order's total exactly, and what the user
// types or picks is posted as typed, read back by a second client.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <functional>

#include "controls/data_combo_boxes.h"
#include "controls/data_date_edits.h"
#include "controls/data_grid.h"
#include "controls/data_number_edits.h"
#include "order_total.h"
#include "order_window.h"
#include "runtime/published.h"
#include "sql_script.h"
#include "test_server.h"

namespace tessel::testing {
namespace {

using order_entry::OrderWindow;

class OrderEntryTest : public IntegrationTest {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }

  void SetUp() override {
    IntegrationTest::SetUp();
    if (IsSkipped()) return;
    order_entry::RunScriptFile(*server, ORDER_ENTRY_DIR "/order_entry.sql");
    order_entry::Login login{address->Server, address->User, address->Password, address->Database};
    window = std::make_unique<OrderWindow>(ORDER_ENTRY_DIR, login);
  }
  void TearDown() override {
    window.reset();
    IntegrationTest::TearDown();
  }

  // The first column of sql's first row as python-tds reads it.
  std::string ReadBack(const std::string& sql) {
    QStringList args{READ_BACK_SCRIPT};
    for (const std::string& arg :
         {address->Server, address->User, address->Password, address->Database, sql})
      args << QString::fromStdString(arg);
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), args);
    EXPECT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return python.readAllStandardOutput().trimmed().toStdString();
  }

  std::unique_ptr<OrderWindow> window;
};

TEST_F(OrderEntryTest, EditsArePostedAsTypedAndReadBackByAnotherClient) {
  struct Case {
    const char* name;
    std::function<void(OrderWindow&)> edit;
    const char* total;  // shown once posted
    const char* sql;
    const char* stored;
  };
  const Case cases[] = {
      {"quantity typed",
       [](OrderWindow& w) {
         QLineEdit* edit = w.Find<controls::DataDecimalEdit>("quantityEdit");
         edit->selectAll();
         QTest::keyClicks(edit, "7.0625");
       },
       "28.8228125", "SELECT quantity FROM order_lines WHERE order_id = 1001 AND line_no = 1",
       "7.0625"},
      {"customer picked by name",
       [](OrderWindow& w) {
         QComboBox* combo = w.Find<controls::DataLookupComboBox>("customerCombo");
         combo->lineEdit()->selectAll();
         QTest::keyClicks(combo, "Cedar Works");
       },
       "77.94", "SELECT customer_id FROM orders WHERE order_id = 1001", "3"},
      {"ship date cleared",
       [](OrderWindow& w) {
         auto* date = w.Find<controls::DataDateEdit>("shipDate");
         QTest::keyClick(date, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClick(date, Qt::Key_Delete);
       },
       "77.94", "SELECT ship_date FROM orders WHERE order_id = 1001", "None"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (window == nullptr) {  // each case starts from the sample data
      order_entry::RunScriptFile(*server, ORDER_ENTRY_DIR "/order_entry.sql");
      window = std::make_unique<OrderWindow>(
          ORDER_ENTRY_DIR,
          order_entry::Login{address->Server, address->User, address->Password, address->Database});
    }
    for (const auto& problem : window->Problems()) ADD_FAILURE() << problem.Message().toStdString();
    ASSERT_EQ(window->Orders().FieldByName("order_id")->AsInteger(), 1001);
    EXPECT_EQ(window->TotalText(), "77.94");
    c.edit(*window);
    ASSERT_TRUE(window->PostAll()) << window->StatusText().toStdString();
    EXPECT_EQ(window->TotalText(), c.total);
    EXPECT_EQ(ReadBack(c.sql), c.stored);
    window.reset();
  }
}

TEST_F(OrderEntryTest, PostingAValueTheServerRefusesLeavesTheReasonOnTheStatusLine) {
  QLineEdit* edit = window->Find<controls::DataDecimalEdit>("quantityEdit");
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);  // quantity is NOT NULL
  EXPECT_FALSE(window->PostAll());
  EXPECT_TRUE(window->StatusText().contains("quantity", Qt::CaseInsensitive))
      << window->StatusText().toStdString();
  window->CancelAll();
  EXPECT_EQ(ReadBack("SELECT quantity FROM order_lines WHERE order_id = 1001 AND line_no = 1"),
            "400.0000");
}

TEST_F(OrderEntryTest, LinesShowProductNamesAndAProductPickedInTheGridIsPostedAsItsId) {
  auto* grid = window->Find<controls::DataGrid>("linesGrid");
  ASSERT_NE(grid, nullptr);
  const int product = window->Lines().FieldByName("product")->Index();
  EXPECT_TRUE(grid->isColumnHidden(window->Lines().FieldByName("product_id")->Index()));
  EXPECT_FALSE(grid->isColumnHidden(product));
  EXPECT_EQ(grid->Model()->headerData(product, Qt::Horizontal).toString(), "Product");
  EXPECT_EQ(grid->Model()->CellDisplayText(0, product), "Hex bolt M8");
  EXPECT_EQ(grid->Model()->CellDisplayText(2, product), "Wood glue 1l");

  // A name no product has is refused: the line keeps its product.
  EXPECT_FALSE(grid->Model()->setData(grid->Model()->index(1, product), "Brass screw"));
  EXPECT_TRUE(window->StatusText().contains("not a valid value"))
      << window->StatusText().toStdString();
  EXPECT_EQ(window->Lines().FieldByName("product_id")->AsInteger(), 11);
  window->CancelAll();

  const QModelIndex cell = grid->Model()->index(0, product);
  grid->setCurrentIndex(cell);
  grid->edit(cell);
  auto* editor = grid->viewport()->findChild<QComboBox*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->count(), 5);  // every product, by name
  editor->setCurrentIndex(editor->findText("Oak board 2m"));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(grid->Model()->CellDisplayText(0, product), "Oak board 2m");
  ASSERT_TRUE(window->PostAll()) << window->StatusText().toStdString();
  EXPECT_EQ(ReadBack("SELECT product_id FROM order_lines WHERE order_id = 1001 AND line_no = 1"),
            "13");
}

TEST(OrderTotal, SumsExactlyAndShowsEveryDigit) {
  struct Case {
    const char* a;
    const char* b;
    const char* product;
    const char* sum;
  };
  const Case cases[] = {
      {"400.0000", "0.0199", "7.96", "400.0199"},
      {"7.0625", "0.1250", "0.8828125", "7.1875"},
      {"-2", "3.5", "-7.00", "1.50"},
      {"0.1", "0.2", "0.02", "0.30"},
      {"2.5", "-2.50", "-6.25", "0.00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.b);
    const Decimal a = Decimal::FromString(c.a);
    const Decimal b = Decimal::FromString(c.b);
    EXPECT_EQ(order_entry::MoneyText(order_entry::Multiply(a, b)), c.product);
    EXPECT_EQ(order_entry::MoneyText(order_entry::Add(a, b)), c.sum);
  }
  const Decimal big = Decimal::FromString("99999999999999999999.9999");
  EXPECT_THROW(order_entry::Multiply(big, big), EConvertError);
}

}  // namespace
}  // namespace tessel::testing

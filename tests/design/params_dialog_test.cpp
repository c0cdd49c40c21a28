// The parameters dialog: which names it takes from the SQL text, how it
// looks, and how its controls edit the working list, with OK and Cancel.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "design/lqSQLPDialog.h"
#include "framework/params.h"
#include "modal.h"
#include "runtime/Tessel.h"

namespace tessel::testing {
namespace {

std::vector<std::string> Names(const TParams& params) {
  std::vector<std::string> names;
  for (int i = 0; i < params.Count(); ++i) names.push_back(params[i]->Name());
  return names;
}

std::vector<std::string> Found(const std::string& sql) {
  TParams params;
  TlqParamsDialog::CreateParams(&params, sql);
  return Names(params);
}

TEST(ParamsDialogScan, NamesOutsideLiteralsAreAddedOnce) {
  EXPECT_EQ(Found("select * from t where a = :A and b = ':B' and c = :C"),
            (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(Found("select * from t where a = :\"my param\""),
            (std::vector<std::string>{"my param"}));
  EXPECT_EQ(Found("select a::b from t"), std::vector<std::string>{});
  EXPECT_EQ(Found("select '10:30' , :t"), std::vector<std::string>{"t"});
  // Case matters; a name used twice is one parameter of the dialog's list.
  EXPECT_EQ(Found("where a=:x or b=:X or c=:x"), (std::vector<std::string>{"x", "X"}));
  EXPECT_EQ(Found("where a=:x,b=:y;c=:z)\nd=:w\re=:v"),
            (std::vector<std::string>{"x", "y", "z", "w", "v"}));
}

TEST(ParamsDialogScan, ExistingParametersKeepTypeAndValue) {
  TParams params;
  TParam* a = params.CreateParam(ftInteger, "A", ptInput);
  a->SetAsInteger(42);
  TlqParamsDialog::CreateParams(&params, "where a = :A and b = :B and c = :a");
  ASSERT_EQ(Names(params), (std::vector<std::string>{"A", "B", "a"}));
  EXPECT_EQ(params[0]->DataType(), ftInteger);
  EXPECT_EQ(params[0]->AsInteger(), 42);
  EXPECT_EQ(params[1]->DataType(), ftUnknown);
  EXPECT_EQ(params[1]->ParamType(), ptUnknown);
  EXPECT_TRUE(params[1]->IsNull());
}

TEST(ParamsDialogScan, TypeListMapsBothWays) {
  const std::vector<TFieldType> order{ftBoolean, ftBlob, ftCurrency, ftDate,   ftDateTime, ftFloat,
                                      ftInteger, ftMemo, ftSmallint, ftString, ftTime};
  for (int i = 0; i < static_cast<int>(order.size()); ++i) {
    EXPECT_EQ(TlqParamsDialog::IndexToField(i), order[static_cast<std::size_t>(i)]);
    EXPECT_EQ(TlqParamsDialog::FieldToIndex(order[static_cast<std::size_t>(i)]), i);
  }
  EXPECT_EQ(TlqParamsDialog::FieldToIndex(ftWord), -1);
  EXPECT_EQ(TlqParamsDialog::FieldToIndex(ftUnknown), -1);
  EXPECT_EQ(TlqParamsDialog::IndexToField(-1), ftUnknown);
  EXPECT_EQ(TlqParamsDialog::IndexToField(11), ftUnknown);
}

// A query on a form, and the dialog opened on a copy of its parameters the
// way the property editor opens it.
class ParamsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetName("Form1");
    query = new TTessel(&form);
    query->SetName("Tessel1");
  }

  void Open(const std::string& sql) {
    query->SQL()->SetText(sql);
    working.Assign(query->Params());
    dialog = std::make_unique<TlqParamsDialog>();
    dialog->SetQuery(query);
    dialog->SetParams(&working);
    dialog->FormShow();
    dialog->show();
  }

  template <class W>
  W* Control(const char* name) {
    W* control = dialog->findChild<W*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QListWidget* List() { return Control<QListWidget>("ParamList"); }
  QComboBox* Types() { return Control<QComboBox>("TypeCombo"); }
  QLineEdit* Value() { return Control<QLineEdit>("edValue"); }
  QCheckBox* Null() { return Control<QCheckBox>("CheckBox1"); }

  void Select(const QString& name) {
    const auto items = List()->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << name.toStdString();
    List()->setCurrentItem(items.front());
  }
  void ChooseType(const QString& item) {
    const int index = Types()->findText(item);
    ASSERT_GE(index, 0);
    Types()->setCurrentIndex(index);
    emit Types()->activated(index);
  }
  void Type(const QString& text) {
    Value()->clear();
    QTest::keyClicks(Value(), text);
  }
  TParam* Param(const std::string& name) { return working.FindParam(name); }

  TComponent form{nullptr};
  TTessel* query = nullptr;
  TParams working;
  std::unique_ptr<TlqParamsDialog> dialog;
};

TEST_F(ParamsDialogTest, ControlsCaptionsAndPlaces) {
  Open("select * from t where id = :id");
  EXPECT_EQ(dialog->windowTitle(), "Form1.Tessel1.Params");
  EXPECT_EQ(Control<QGroupBox>("GroupBox1")->title(), "Define Tessel Parameters");
  EXPECT_EQ(Control<QGroupBox>("GroupBox1")->geometry(), QRect(8, 12, 361, 173));
  EXPECT_EQ(Control<QLabel>("Label1")->text(), "Parameter name:");
  EXPECT_EQ(Control<QLabel>("Label1")->pos(), QPoint(12, 24));
  EXPECT_EQ(Control<QLabel>("Label2")->text(), "Data type:");
  EXPECT_EQ(Control<QLabel>("Label2")->pos(), QPoint(152, 44));
  EXPECT_EQ(Control<QLabel>("Label3")->text(), "Value:");
  EXPECT_EQ(Control<QLabel>("Label3")->pos(), QPoint(152, 68));
  EXPECT_EQ(List()->geometry(), QRect(12, 40, 125, 117));
  EXPECT_EQ(Null()->text(), "Null value");
  EXPECT_EQ(Null()->geometry(), QRect(152, 140, 81, 17));
  EXPECT_EQ(Types()->geometry(), QRect(208, 40, 140, 21));
  EXPECT_FALSE(Types()->isEditable());
  EXPECT_EQ(Value()->geometry(), QRect(208, 64, 140, 21));
  QStringList items;
  for (int i = 0; i < Types()->count(); ++i) items << Types()->itemText(i);
  EXPECT_EQ(items, QStringList({"Boolean", "Blob", "Currency", "Date", "DateTime", "Float",
                                "Integer", "Memo", "Smallint", "String", "Time"}));
  const auto* ok = Control<QPushButton>("btnOK");
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->geometry(), QRect(80, 200, 75, 25));
  EXPECT_EQ(Control<QPushButton>("btnCancel")->text(), "Cancel");
  EXPECT_EQ(Control<QPushButton>("btnCancel")->geometry(), QRect(164, 200, 75, 25));
  EXPECT_EQ(Control<QPushButton>("btnHelp")->text(), "Help");
  EXPECT_EQ(Control<QPushButton>("btnHelp")->geometry(), QRect(248, 200, 75, 25));
  // Every control lies inside the form's client area.
  EXPECT_TRUE(dialog->rect().contains(Control<QPushButton>("btnHelp")->geometry()));
  EXPECT_TRUE(dialog->rect().contains(Control<QGroupBox>("GroupBox1")->geometry()));
}

TEST_F(ParamsDialogTest, ShowsEveryNameOnceSortedAndTheFirstSelected) {
  query->SQL()->SetText("where b = :b and a = :B");
  query->Params()->ParamByName("b")->SetAsInteger(7);
  working.Assign(query->Params());
  // Names the text adds now, in a list that already has one of a kind.
  query->SQL()->SetText("where b = :b and a = :B and c = :a and d = :b");
  working.CreateParam(ftString, "zeta", ptInput);
  dialog = std::make_unique<TlqParamsDialog>();
  dialog->SetQuery(query);
  dialog->SetParams(&working);
  dialog->FormShow();

  QStringList shown;
  for (int i = 0; i < List()->count(); ++i) shown << List()->item(i)->text();
  EXPECT_EQ(shown, QStringList({"a", "b", "B", "zeta"}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_NE(working.FindParam("zeta"), nullptr);
  Select("b");
  EXPECT_EQ(Types()->currentText(), "Integer");
  EXPECT_EQ(Value()->text(), "7");
  EXPECT_FALSE(Null()->isChecked());
}

TEST_F(ParamsDialogTest, EditsTypeValueAndNull) {
  Open("select * from t where id = :id and name = :name and born = :born");
  Select("id");
  EXPECT_EQ(Types()->currentIndex(), -1);  // unknown type shows none
  EXPECT_TRUE(Value()->text().isEmpty());

  ChooseType("Integer");
  Type("123");
  EXPECT_EQ(Param("id")->DataType(), ftInteger);
  EXPECT_EQ(Param("id")->AsInteger(), 123);

  ChooseType("String");
  EXPECT_TRUE(Value()->text().isEmpty());
  Type("007");
  EXPECT_EQ(Param("id")->DataType(), ftString);
  EXPECT_EQ(Param("id")->AsString(), "007");

  // Backspace in the type list makes the type unknown again.
  Types()->setFocus();
  QTest::keyClick(Types(), Qt::Key_Backspace);
  EXPECT_EQ(Types()->currentIndex(), -1);
  EXPECT_EQ(Param("id")->DataType(), ftUnknown);
  EXPECT_TRUE(Value()->text().isEmpty());

  Select("name");
  ChooseType("String");
  Type("Smith");
  QTest::mouseClick(Null(), Qt::LeftButton);
  EXPECT_TRUE(Null()->isChecked());
  EXPECT_TRUE(Param("name")->IsNull());
  EXPECT_TRUE(Value()->text().isEmpty());
  // Typing a value again makes the parameter non-null, and the box says so.
  Type("Jones");
  EXPECT_FALSE(Null()->isChecked());
  EXPECT_EQ(Param("name")->AsString(), "Jones");

  // Coming back to a parameter shows its type and value.
  Select("id");
  Select("name");
  EXPECT_EQ(Types()->currentText(), "String");
  EXPECT_EQ(Value()->text(), "Jones");
}

TEST_F(ParamsDialogTest, EditReachesEveryUseOfAName) {
  Open("select * from t where a = :k or b = :k");
  ASSERT_EQ(working.Count(), 2);
  ChooseType("Integer");
  Type("5");
  EXPECT_EQ(working[0]->AsInteger(), 5);
  EXPECT_EQ(working[1]->AsInteger(), 5);
  EXPECT_EQ(working[1]->DataType(), ftInteger);
}

TEST_F(ParamsDialogTest, UnconvertibleValueKeepsTheDialogOpen) {
  Open("select * from t where id = :id");
  ChooseType("Integer");
  Type("12");
  Type("12x");
  EXPECT_EQ(Param("id")->AsInteger(), 12);  // the last text that converted
  EXPECT_FALSE(Value()->toolTip().isEmpty());

  std::string message;
  AnswerNextMessage(&message);
  QTest::mouseClick(Control<QPushButton>("btnOK"), Qt::LeftButton);
  EXPECT_FALSE(message.empty());
  EXPECT_NE(dialog->result(), QDialog::Accepted);

  Type("13");
  EXPECT_TRUE(Value()->toolTip().isEmpty());
  QTest::mouseClick(Control<QPushButton>("btnOK"), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(Param("id")->AsInteger(), 13);
}

TEST_F(ParamsDialogTest, NoParametersLeavesNothingToEdit) {
  Open("select * from t");
  EXPECT_EQ(List()->count(), 0);
  EXPECT_FALSE(Types()->isEnabled());
  EXPECT_FALSE(Value()->isEnabled());
  EXPECT_FALSE(Null()->isEnabled());
}

TEST_F(ParamsDialogTest, ExecuteReportsOkAndCancel) {
  query->SQL()->SetText("where id = :id");
  working.Assign(query->Params());
  dialog = std::make_unique<TlqParamsDialog>();
  dialog->SetQuery(query);
  dialog->SetParams(&working);

  OnModal<TlqParamsDialog>([](TlqParamsDialog* shown) {
    QTest::mouseClick(shown->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  EXPECT_TRUE(dialog->Execute());

  OnModal<TlqParamsDialog>([](TlqParamsDialog* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
  EXPECT_FALSE(dialog->Execute());
}

}  // namespace
}  // namespace tessel::testing

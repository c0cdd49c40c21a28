#include "framework/params.h"

#include <gtest/gtest.h>

#include <cstring>

#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/string_list.h"

namespace tessel {
namespace {

TEST(Params, CreateFindAndNotFound) {
  TParams params;
  params.CreateParam(ftUnknown, "A", ptUnknown);
  params.CreateParam(ftInteger, "B", ptInput);
  params.CreateParam(ftString, "a", ptUnknown);  // same name twice is allowed
  EXPECT_EQ(params.Count(), 3);
  EXPECT_EQ(params.FindParam("b"), params[1]);
  EXPECT_EQ(params.ParamByName("A"), params[0]);  // the first of that name
  EXPECT_EQ(params.FindParam("C"), nullptr);
  try {
    params.ParamByName("Missing");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Parameter 'Missing' not found");
  }
  EXPECT_THROW(params.Items(3), EListError);
}

TEST(Params, NullUntilGivenAValue) {
  TParams params;
  TParam* p = params.CreateParam(ftUnknown, "X", ptUnknown);
  EXPECT_TRUE(p->IsNull());
  EXPECT_FALSE(p->Bound());
  EXPECT_EQ(p->AsString(), "");
  EXPECT_EQ(p->AsInteger(), 0);
  p->SetValue(42);
  EXPECT_EQ(p->DataType(), ftInteger);
  EXPECT_TRUE(p->Bound());
  EXPECT_FALSE(p->IsNull());
  p->Clear();
  EXPECT_TRUE(p->IsNull());
  EXPECT_TRUE(VarIsNull(p->Value()));
  // The type stays Integer, so a value must convert; one that does not is refused.
  EXPECT_THROW(p->SetValue(Variant("text")), EConvertError);
  EXPECT_TRUE(p->IsNull());
  p->SetValue(Variant("12"));
  EXPECT_EQ(VarType(p->Value()), varInteger);
}

TEST(Params, AccessorsSetTheType) {
  TParam p;
  p.SetName("P");
  p.SetAsSmallInt(-5);
  EXPECT_EQ(p.DataType(), ftSmallint);
  EXPECT_EQ(p.AsString(), "-5");
  p.SetAsWord(65535);
  EXPECT_EQ(p.DataType(), ftWord);
  EXPECT_EQ(p.AsInteger(), 65535);
  EXPECT_THROW(p.AsSmallInt(), EConvertError);
  p.SetAsBoolean(true);
  EXPECT_EQ(p.DataType(), ftBoolean);
  EXPECT_EQ(p.AsInteger(), -1);
  EXPECT_EQ(p.AsString(), "True");
  p.SetAsCurrency(12.5);
  EXPECT_EQ(p.DataType(), ftCurrency);
  EXPECT_EQ(p.AsString(), "12.5");
  p.SetAsDate(EncodeDate(1999, 3, 5));
  EXPECT_EQ(p.DataType(), ftDate);
  EXPECT_EQ(p.AsString(), "03/05/1999");
  p.SetAsTime(EncodeTime(14, 5, 9, 0));
  EXPECT_EQ(p.AsString(), "14:05:09");
  p.SetAsMemo(std::string("a\0b", 3));
  EXPECT_EQ(p.DataType(), ftMemo);
  EXPECT_EQ(p.AsMemo().size(), 3u);
  p.SetAsBlob("xyz");
  EXPECT_EQ(p.DataType(), ftBlob);
  p.SetAsString("O'Brien");
  EXPECT_EQ(p.DataType(), ftString);
  EXPECT_EQ(p.Text(), "O'Brien");
}

TEST(Params, TextConvertsToTheParameterType) {
  TParams params;
  TParam* i = params.CreateParam(ftInteger, "Id", ptInput);
  i->SetText("42");
  EXPECT_EQ(VarType(i->Value()), varInteger);
  EXPECT_EQ(i->AsInteger(), 42);
  try {
    i->SetText("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("'abc'"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("Id"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(i->AsInteger(), 42);  // unchanged by the failed assignment
  EXPECT_THROW(i->SetText("3000000000"), EConvertError);

  TParam* d = params.CreateParam(ftDate, "D", ptInput);
  d->SetText("1999-03-05");
  EXPECT_EQ(d->AsDate(), EncodeDate(1999, 3, 5));
  EXPECT_THROW(d->SetText("1999-02-30"), EConvertError);
  TParam* f = params.CreateParam(ftFloat, "F", ptInput);
  f->SetText("1.5");
  EXPECT_EQ(f->AsFloat(), 1.5);
  TParam* b = params.CreateParam(ftBoolean, "B", ptInput);
  b->SetText("false");
  EXPECT_FALSE(b->AsBoolean());
  EXPECT_FALSE(b->IsNull());
  TParam* s = params.CreateParam(ftUnknown, "S", ptInput);
  s->SetText("007");
  EXPECT_EQ(s->DataType(), ftString);
  EXPECT_EQ(s->AsString(), "007");

  // A type change converts the value, and clears one that cannot be held.
  s->SetDataType(ftInteger);
  EXPECT_EQ(s->AsInteger(), 7);
  TParam* t = params.CreateParam(ftString, "T", ptInput);
  t->SetAsString("abc");
  t->SetDataType(ftInteger);
  EXPECT_TRUE(t->IsNull());
}

TEST(Params, DataSizeAndNativeForm) {
  TParam p;
  p.SetAsString("hello");
  EXPECT_EQ(p.DataSize(), 5);
  char text[6] = {};
  p.GetData(text);
  EXPECT_STREQ(text, "hello");
  p.SetAsSmallInt(-2);
  EXPECT_EQ(p.DataSize(), 2);
  std::int16_t i16 = 0;
  p.GetData(&i16);
  EXPECT_EQ(i16, -2);
  p.SetAsInteger(123456);
  EXPECT_EQ(p.DataSize(), 4);
  p.SetAsBoolean(true);
  EXPECT_EQ(p.DataSize(), 2);
  p.GetData(&i16);
  EXPECT_EQ(i16, 1);
  p.SetAsFloat(2.5);
  EXPECT_EQ(p.DataSize(), 8);
  p.SetAsBytes({1, 2, 3});
  EXPECT_EQ(p.DataSize(), 3);
  TParam empty;
  EXPECT_EQ(empty.DataSize(), 0);
  empty.SetDataType(ftString);
  EXPECT_EQ(empty.DataSize(), 0);

  // Date-times round-trip through the time-stamp forms.
  const TDateTime when = EncodeDate(1999, 3, 5) + EncodeTime(14, 5, 9, 250);
  p.SetAsDateTime(when);
  EXPECT_EQ(p.DataSize(), 8);
  double msecs = 0;
  p.GetData(&msecs);
  EXPECT_EQ(msecs, TimeStampToMSecs(DateTimeToTimeStamp(when)));
  TParam q;
  q.SetDataType(ftDateTime);
  q.SetData(&msecs);
  EXPECT_NEAR(q.AsDateTime(), when, 1e-9);
  p.SetAsDate(EncodeDate(1999, 3, 5));
  std::int32_t day = 0;
  p.GetData(&day);
  EXPECT_EQ(day, 36224 + DateDelta);
  q.SetDataType(ftDate);
  q.SetData(&day);
  EXPECT_EQ(q.AsDate(), EncodeDate(1999, 3, 5));

  q.SetDataType(ftString);
  q.SetData("abc");
  EXPECT_EQ(q.AsString(), "abc");
  q.SetDataType(ftVarBytes);
  EXPECT_THROW(q.SetData("abc"), EDatabaseError);
  q.SetData("abc", 2);
  EXPECT_EQ(q.AsBytes(), (TBytes{'a', 'b'}));
  q.SetData(nullptr);
  EXPECT_TRUE(q.IsNull());
}

TEST(Params, AssignAndAssignValues) {
  TParams old_list;
  TParam* a = old_list.CreateParam(ftInteger, "A", ptInput);
  a->SetAsInteger(7);
  TParam* gone = old_list.CreateParam(ftString, "Gone", ptInput);
  gone->SetAsString("x");

  TParams fresh;
  fresh.CreateParam(ftUnknown, "a", ptUnknown);
  fresh.CreateParam(ftUnknown, "B", ptUnknown);
  fresh.CreateParam(ftUnknown, "A", ptUnknown);
  fresh.AssignValues(old_list);
  EXPECT_EQ(fresh[0]->DataType(), ftInteger);
  EXPECT_EQ(fresh[0]->ParamType(), ptInput);
  EXPECT_EQ(fresh[0]->AsInteger(), 7);
  EXPECT_EQ(fresh[0]->Name(), "a");            // the name stays
  EXPECT_EQ(fresh[2]->DataType(), ftUnknown);  // only the first of that name
  EXPECT_TRUE(fresh[1]->IsNull());

  TParams copy;
  copy.Assign(&old_list);
  EXPECT_TRUE(copy.IsEqual(old_list));
  copy[0]->SetAsInteger(8);
  EXPECT_FALSE(copy.IsEqual(old_list));
  EXPECT_EQ(a->AsInteger(), 7);

  TStringList lines;
  lines.Add("line");
  TParam memo;
  memo.Assign(&lines);
  EXPECT_EQ(memo.DataType(), ftMemo);
  EXPECT_EQ(memo.AsMemo(), "line\n");

  copy.SetParamValues("A;Gone", VarArrayOf({1, "y"}));
  EXPECT_EQ(copy.ParamValues("A;Gone"), VarArrayOf({1, "y"}));
  EXPECT_THROW(copy.ParamValues("A;Nope"), EDatabaseError);
}

TEST(Params, AssignFieldValueTakesTheFieldType) {
  TMemoField memo(nullptr);
  memo.SetFieldName("Notes");
  TIntegerField id(nullptr);
  TParams params;
  TParam* p = params.CreateParam(ftUnknown, "OLD_Notes", ptUnknown);
  p->AssignFieldValue(&memo, Variant("long text"));
  EXPECT_EQ(p->DataType(), ftMemo);  // a memo stays a memo
  EXPECT_EQ(p->AsString(), "long text");
  EXPECT_EQ(p->Name(), "OLD_Notes");
  EXPECT_TRUE(p->Bound());
  p->AssignFieldValue(&id, Null());
  EXPECT_EQ(p->DataType(), ftInteger);
  EXPECT_TRUE(p->IsNull());
  p->AssignFieldValue(&id, Variant("15"));
  EXPECT_EQ(VarType(p->Value()), varInteger);
  EXPECT_THROW(p->AssignFieldValue(&id, Variant("x")), EConvertError);
  EXPECT_EQ(p->AsInteger(), 15);
}

}  // namespace
}  // namespace tessel

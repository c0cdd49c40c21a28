// Fields: native forms, conversions and bad input, old and new values,
// validation, calculated and lookup fields, blobs, field lists.

#include <gtest/gtest.h>

#include <cstring>

#include "framework/data_consts.h"
#include "framework/streams.h"
#include "mem_dataset.h"

namespace tessel::test {
namespace {

std::unique_ptr<TMemDataSet> MakeTypes() {
  auto ds = std::make_unique<TMemDataSet>(nullptr, std::vector<Column>{{"S", ftString, 5},
                                                                       {"SI", ftSmallint},
                                                                       {"I", ftInteger},
                                                                       {"W", ftWord},
                                                                       {"B", ftBoolean},
                                                                       {"F", ftFloat},
                                                                       {"C", ftCurrency},
                                                                       {"D", ftDate},
                                                                       {"T", ftTime},
                                                                       {"DT", ftDateTime},
                                                                       {"BY", ftBytes, 3},
                                                                       {"VB", ftVarBytes, 4},
                                                                       {"M", ftMemo},
                                                                       {"BL", ftBlob}});
  ds->Open();
  ds->Append();
  return ds;
}

// The message of the EDatabaseError fn raises.
template <class Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(Fields, NativeFormsAndSizes) {
  auto ds = MakeTypes();
  EXPECT_EQ(ds->FieldByName("S")->DataSize(), 6);
  EXPECT_EQ(ds->FieldByName("B")->DataSize(), 2);
  EXPECT_EQ(ds->FieldByName("D")->DataSize(), 4);
  EXPECT_EQ(ds->FieldByName("DT")->DataSize(), 8);
  EXPECT_EQ(ds->FieldByName("VB")->DataSize(), 6);
  EXPECT_EQ(ds->FieldByName("M")->DataSize(), 0);
  EXPECT_EQ(ds->FieldByName("BL")->Offset(), 1) << "second blob field: blob index 1";
  EXPECT_EQ(ds->BlobFieldCount(), 2);

  ds->FieldByName("B")->SetAsBoolean(true);
  std::int16_t b = 0;
  ASSERT_TRUE(ds->FieldByName("B")->GetData(&b));
  EXPECT_EQ(b, 1);

  // 1899-12-31 is day 693595 (0001-01-01 is day 1).
  ds->FieldByName("DT")->SetAsString("1899-12-31 00:00:01.500");
  double ms = 0;
  ASSERT_TRUE(ds->FieldByName("DT")->GetData(&ms));
  EXPECT_EQ(ms, 693595.0 * 86400000.0 + 1500.0);
  EXPECT_EQ(ds->FieldByName("DT")->AsString(), "1899-12-31 00:00:01.500");
  EXPECT_DOUBLE_EQ(ds->FieldByName("DT")->AsDateTime(), 1.0 + 1.5 / 86400.0);

  ds->FieldByName("D")->SetAsString("1899-12-31");
  std::int32_t day = 0;
  ASSERT_TRUE(ds->FieldByName("D")->GetData(&day));
  EXPECT_EQ(day, 693595);
  ds->FieldByName("T")->SetAsString("01:00:00");
  std::int32_t time = 0;
  ASSERT_TRUE(ds->FieldByName("T")->GetData(&time));
  EXPECT_EQ(time, 3600000);

  ds->FieldByName("S")->SetAsString("abc");
  char text[6] = {};
  ASSERT_TRUE(ds->FieldByName("S")->GetData(text));
  EXPECT_STREQ(text, "abc");

  ds->FieldByName("VB")->SetAsString(std::string("\x01\x00", 2));
  EXPECT_EQ(ds->FieldByName("VB")->AsString(), std::string("\x01\x00", 2));
  ds->FieldByName("BY")->SetAsString("x");
  EXPECT_EQ(ds->FieldByName("BY")->AsString(), std::string("x\0\0", 3));
}

TEST(Fields, ConversionsBetweenKinds) {
  auto ds = MakeTypes();
  TField* i = ds->FieldByName("I");
  EXPECT_TRUE(i->IsNull());
  EXPECT_EQ(i->AsString(), "");
  EXPECT_EQ(i->AsInteger(), 0);
  i->SetAsString(" 42 ");
  EXPECT_EQ(i->AsInteger(), 42);
  EXPECT_DOUBLE_EQ(i->AsFloat(), 42.0);
  EXPECT_EQ(i->AsVariant().AsInteger(), 42);
  i->SetAsFloat(2.6);
  EXPECT_EQ(i->AsInteger(), 3);
  i->SetAsString("");
  EXPECT_TRUE(i->IsNull()) << "empty text clears a number";

  TField* f = ds->FieldByName("F");
  f->SetAsVariant(Variant("1.5"));
  EXPECT_EQ(f->AsString(), "1.5");
  f->SetValue(Null());
  EXPECT_TRUE(f->IsNull());
  EXPECT_TRUE(f->Value().IsNull());

  TField* b = ds->FieldByName("B");
  b->SetAsString("no");
  EXPECT_EQ(b->AsString(), "False");
  b->SetAsVariant(Variant(true));
  EXPECT_TRUE(b->AsBoolean());

  TField* s = ds->FieldByName("S");
  s->SetAsInteger(123);
  EXPECT_EQ(s->AsInteger(), 123);
  s->SetAsBoolean(true);
  EXPECT_TRUE(s->AsBoolean());

  TField* dt = ds->FieldByName("DT");
  dt->SetAsDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 0, 0));
  EXPECT_EQ(dt->AsString(), "2024-02-29 13:45:00");
  EXPECT_EQ(dt->AsVariant().VarType(), varDate);
  ds->FieldByName("D")->SetAsVariant(dt->AsVariant());
  EXPECT_EQ(ds->FieldByName("D")->AsString(), "2024-02-29");
  EXPECT_THROW(ds->FieldByName("D")->AsBoolean(), EDatabaseError);
}

// Display text is what a grid shows: money keeps its cents ("120.10", not
// "120.1"), other kinds read as AsString, null is empty, and the text to edit
// is unchanged.
TEST(Fields, DisplayTextShowsMoneyWithCents) {
  auto ds = MakeTypes();
  TField* c = ds->FieldByName("C");
  EXPECT_EQ(c->DisplayText(), "");
  c->SetAsFloat(120.1);
  EXPECT_EQ(c->DisplayText(), "120.10");
  EXPECT_EQ(c->AsString(), "120.1");
  c->SetAsFloat(-3);
  EXPECT_EQ(c->DisplayText(), "-3.00");
  c->SetAsFloat(0.0025);
  EXPECT_EQ(c->DisplayText(), "0.0025") << "a money value's four decimals are not cut";
  c->SetAsFloat(1234567.5);
  EXPECT_EQ(c->DisplayText(), "1234567.50");

  TField* f = ds->FieldByName("F");
  f->SetAsFloat(120.1);
  EXPECT_EQ(f->DisplayText(), "120.1");
  TField* i = ds->FieldByName("I");
  EXPECT_EQ(i->DisplayText(), "");
  i->SetAsInteger(7);
  EXPECT_EQ(i->DisplayText(), "7");
}

TEST(Fields, BadInputNamesFieldAndValueAndLeavesRecord) {
  auto ds = MakeTypes();
  TField* i = ds->FieldByName("I");
  i->SetAsInteger(7);
  EXPECT_EQ(ErrorOf([&] { i->SetAsString("abc"); }),
            "'abc' is not a valid integer value for field 'I'");
  EXPECT_EQ(i->AsInteger(), 7);

  TField* si = ds->FieldByName("SI");
  si->SetAsInteger(1);
  EXPECT_EQ(ErrorOf([&] { si->SetAsInteger(40000); }),
            "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
  EXPECT_EQ(si->AsInteger(), 1);
  EXPECT_THROW(ds->FieldByName("W")->SetAsInteger(-1), EDatabaseError);

  TField* d = ds->FieldByName("D");
  d->SetAsString("2023-02-28");
  EXPECT_EQ(ErrorOf([&] { d->SetAsString("2023-02-30"); }),
            "'2023-02-30' is not a valid date for field 'D'");
  EXPECT_EQ(d->AsString(), "2023-02-28");
  EXPECT_THROW(ds->FieldByName("T")->SetAsString("25:00"), EDatabaseError);
  EXPECT_THROW(ds->FieldByName("DT")->SetAsString("yesterday"), EDatabaseError);

  TField* s = ds->FieldByName("S");
  s->SetAsString("fits");
  EXPECT_EQ(ErrorOf([&] { s->SetAsString("too long"); }),
            "'too long' is too long for field 'S' (at most 5 characters)");
  EXPECT_EQ(s->AsString(), "fits");
  EXPECT_THROW(s->SetAsString(std::string("a\0b", 3)), EDatabaseError) << "would lose the tail";
  EXPECT_EQ(ErrorOf([&] { (void)s->AsInteger(); }),
            "'fits' is not a valid integer value for field 'S'");

  EXPECT_THROW(ds->FieldByName("B")->SetAsString("maybe"), EDatabaseError);
  EXPECT_THROW(ds->FieldByName("F")->SetAsString("1.2.3"), EDatabaseError);
  EXPECT_THROW(ds->FieldByName("BY")->SetAsString("four"), EDatabaseError);
  EXPECT_EQ(ErrorOf([&] {
              ds->FieldByName("I")->SetAsVariant(VarArrayOf({1, 2}));
            }),
            "'Array of Variant' is not a valid integer value for field 'I'");

  EXPECT_EQ(ErrorOf([&] { ds->FieldByName("NOPE"); }), "Field 'NOPE' not found");
  EXPECT_EQ(ds->FindField("nope"), nullptr);
  EXPECT_EQ(ds->FindField("s"), s) << "names ignore case";
  std::vector<TField*> list;
  EXPECT_EQ(ErrorOf([&] { ds->GetFieldList(list, "S; GONE"); }), "Field 'GONE' not found");
}

TEST(Fields, OldAndNewValues) {
  auto ds = MakePeople(2);
  TField* name = ds->FieldByName("NAME");
  ds->Edit();
  name->SetAsString("edited");
  EXPECT_EQ(name->OldValue().AsString(), "name1");
  EXPECT_EQ(name->NewValue().AsString(), "edited");
  EXPECT_EQ(name->CurValue().AsString(), "name1");
  EXPECT_EQ(ds->State(), dsEdit) << "reading another state leaves the state as it was";
  EXPECT_TRUE(ds->Modified());
  ds->Post();
  EXPECT_EQ(name->OldValue().AsString(), "edited");

  ds->Insert();
  EXPECT_TRUE(ds->FieldByName("ID")->OldValue().IsNull()) << "a new record has no old value";
  ds->Cancel();
}

TEST(Fields, ValidateSeesTheProposedValueAndCanRefuse) {
  auto ds = MakePeople(1);
  TField* id = ds->FieldByName("ID");
  std::int32_t seen = 0;
  id->OnValidate = [&](TField* f) {
    seen = f->AsInteger();
    if (seen < 0) DatabaseError("negative");
  };
  int changes = 0;
  id->OnChange = [&](TField*) { ++changes; };
  ds->Edit();
  id->SetAsInteger(5);
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(id->SetAsInteger(-3), EDatabaseError);
  EXPECT_EQ(id->AsInteger(), 5);
  EXPECT_EQ(changes, 1);

  id->SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { id->SetAsInteger(6); }), "Field 'ID' cannot be modified");
  id->SetDisplayLabel("Number");
  EXPECT_EQ(id->DisplayName(), "Number");
  EXPECT_EQ(ErrorOf([&] { id->SetAsInteger(6); }), "Field 'Number' cannot be modified");
}

TEST(Fields, CalculatedFields) {
  TMemDataSet ds(nullptr, {{"ID", ftInteger}, {"NAME", ftString, 10}});
  auto* id = new TIntegerField(&ds);
  id->SetFieldName("ID");
  id->SetDataSet(&ds);
  auto* twice = new TIntegerField(&ds);
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(&ds);
  auto* label = new TStringField(&ds);
  label->SetFieldName("LABEL");
  label->SetSize(12);
  label->SetCalculated(true);
  label->SetDataSet(&ds);
  int calcs = 0;
  ds.OnCalcFields = [&](TDataSet* d) {
    ++calcs;
    EXPECT_EQ(d->State(), dsCalcFields);
    if (!id->IsNull()) twice->SetAsInteger(id->AsInteger() * 2);
    label->SetAsString("#" + id->AsString());
  };
  ds.Open();
  EXPECT_FALSE(ds.DefaultFields());
  EXPECT_EQ(ds.FieldCount(), 3) << "persistent fields only: NAME is not made";
  EXPECT_EQ(twice->FieldNo(), -1);
  EXPECT_EQ(twice->Offset(), 0);
  EXPECT_EQ(label->Offset(), 5);
  EXPECT_EQ(ds.CalcFieldsSize(), 5 + 14);
  ds.AddRow({"21"});
  EXPECT_EQ(twice->AsInteger(), 42);
  EXPECT_EQ(label->AsString(), "#21");

  ds.Edit();
  calcs = 0;
  id->SetAsInteger(5);
  EXPECT_EQ(calcs, 1) << "a data field change recalculates";
  EXPECT_EQ(twice->AsInteger(), 10);
  ds.Cancel();
  EXPECT_EQ(twice->AsInteger(), 42);
  EXPECT_TRUE(twice->OldValue().IsNull()) << "calculated fields have no old value";

  ds.Close();
  auto* blob = new TBlobField(&ds);
  blob->SetFieldName("PIC");
  blob->SetCalculated(true);
  blob->SetDataSet(&ds);
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Field 'PIC' cannot be a calculated or lookup field");
  EXPECT_FALSE(ds.Active());
}

TEST(Fields, LookupFields) {
  TMemDataSet codes(nullptr, {{"CODE", ftInteger}, {"TEXT", ftString, 10}});
  codes.Open();
  codes.AddRow({"1", "one"});
  codes.AddRow({"2", "two"});

  auto main = std::make_unique<TMemDataSet>(nullptr, std::vector<Column>{{"REF", ftInteger}});
  auto* ref = new TIntegerField(main.get());
  ref->SetFieldName("REF");
  ref->SetDataSet(main.get());
  auto* text = new TStringField(main.get());
  text->SetFieldName("REF_TEXT");
  text->SetSize(10);
  text->SetFieldKind(fkLookup);
  text->SetDataSet(main.get());
  EXPECT_EQ(ErrorOf([&] { main->Open(); }),
            "Lookup information for field 'REF_TEXT' is incomplete");

  text->SetLookupDataSet(&codes);
  text->SetKeyFields("REF");
  text->SetLookupKeyFields("CODE");
  text->SetLookupResultField("MISSING");
  EXPECT_EQ(ErrorOf([&] { main->Open(); }), "Field 'MISSING' not found");
  text->SetLookupResultField("TEXT");
  codes.Close();
  main->Open();
  EXPECT_TRUE(codes.Active()) << "the lookup dataset opens with its user";
  main->AddRow({"2"});
  main->AddRow({"3"});
  main->First();
  EXPECT_EQ(text->AsString(), "two");
  main->Next();
  EXPECT_TRUE(text->IsNull()) << "no match gives null";
  EXPECT_EQ(codes.FieldByName("CODE")->AsInteger(), 1) << "lookup leaves the cursor alone";
  main->Edit();
  ref->SetAsInteger(1);
  EXPECT_EQ(text->AsString(), "one");
  main->Cancel();

  // The lookup dataset going away clears the reference.
  main->Close();
  {
    auto gone = std::make_unique<TMemDataSet>(nullptr);
    text->SetLookupDataSet(gone.get());
  }
  EXPECT_EQ(text->LookupDataSet(), nullptr);
}

TEST(Fields, BlobAndMemoStreams) {
  auto ds = MakeTypes();
  auto* memo = static_cast<TBlobField*>(ds->FieldByName("M"));
  EXPECT_TRUE(memo->IsNull());
  memo->SetAsString("long text");
  EXPECT_TRUE(memo->Modified());
  EXPECT_EQ(memo->AsString(), "long text");
  EXPECT_EQ(memo->BlobSize(), 9);
  EXPECT_EQ(memo->AsVariant().VarType(), varString);
  {
    std::unique_ptr<TStream> read = ds->CreateBlobStream(memo, bmRead);
    char buf[4] = {};
    EXPECT_EQ(read->Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "long");
  }
  {
    std::unique_ptr<TStream> rw = ds->CreateBlobStream(memo, bmReadWrite);
    rw->Seek(0, soFromEnd);
    rw->WriteBuffer("!", 1);
  }
  EXPECT_EQ(memo->AsString(), "long text!");
  {
    std::unique_ptr<TStream> write = ds->CreateBlobStream(memo, bmWrite);
    EXPECT_EQ(write->Size(), 0) << "a write stream starts empty";
    write->WriteBuffer("new", 3);
  }
  EXPECT_EQ(memo->AsString(), "new");

  auto* blob = static_cast<TBlobField*>(ds->FieldByName("BL"));
  TStringStream source(std::string("\x00\x01\x02", 3));
  blob->LoadFromStream(source);
  EXPECT_EQ(blob->AsVariant().AsBytes(), (TBytes{0, 1, 2}));
  ds->Post();
  EXPECT_FALSE(memo->Modified()) << "posting clears Modified";
  EXPECT_EQ(memo->AsString(), "new");
  ds->Edit();
  memo->Clear();
  EXPECT_TRUE(memo->IsNull());
  memo->SetAsString("");
  EXPECT_FALSE(memo->IsNull()) << "empty content is a value, not a null";
  EXPECT_EQ(memo->AsVariant().AsString(), "");
  memo->Clear();
  EXPECT_TRUE(memo->IsNull());
  EXPECT_TRUE(memo->AsVariant().IsNull());
  ds->Cancel();
  EXPECT_EQ(memo->AsString(), "new");
  EXPECT_THROW(ds->CreateBlobStream(memo, bmWrite), EDatabaseError) << "browse state";
}

TEST(Fields, FieldValuesAndLocate) {
  auto ds = MakePeople(5);
  EXPECT_EQ(ds->FieldValues("NAME").AsString(), "name1");
  Variant both = ds->FieldValues("ID;NAME");
  ASSERT_EQ(both.ArrayCount(), 2);
  EXPECT_EQ(both[0].AsInteger(), 1);

  int before = 0, after = 0;
  ds->BeforeScroll = [&](TDataSet*) { ++before; };
  ds->AfterScroll = [&](TDataSet*) { ++after; };
  EXPECT_TRUE(ds->Locate("NAME", Variant("NAME3"), loCaseInsensitive));
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1) << "one scroll, however many records were visited";
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(ds->Locate("ID;NAME", VarArrayOf({4, "name4"}), 0));
  EXPECT_EQ(ds->RecNo(), 4);
  EXPECT_FALSE(ds->Locate("NAME", Variant("NAME2"), 0)) << "case counts without the option";
  EXPECT_EQ(ds->RecNo(), 4) << "a failed search leaves the cursor";
  EXPECT_TRUE(ds->Locate("NAME", Variant("nam"), loPartialKey));
  EXPECT_EQ(ds->RecNo(), 1);
  EXPECT_TRUE(ds->Locate("AMOUNT", Null(), 0)) << "null finds null";

  ds->Last();
  after = 0;
  EXPECT_EQ(ds->Lookup("ID", 2, "NAME").AsString(), "name2");
  EXPECT_TRUE(ds->Lookup("ID", 9, "NAME").IsNull());
  EXPECT_EQ(ds->RecNo(), 5);
  EXPECT_EQ(after, 0) << "lookups fire no scroll events";
  EXPECT_THROW(ds->Locate("ID;NAME", Variant(1), 0), EDatabaseError) << "two keys need two values";

  ds->Edit();
  ds->SetFieldValues("ID;NAME", VarArrayOf({50, "fifty"}));
  ds->Post();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "fifty");
}

TEST(Fields, FieldDefsAndFieldOwnership) {
  TMemDataSet ds(nullptr, {{"ID", ftInteger, 0, true}, {"NAME", ftString, 8}});
  ds.FieldDefs()->Update();
  ASSERT_EQ(ds.FieldDefs()->Count(), 2);
  const TFieldDef* name = ds.FieldDefs()->Find("name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->FieldNo(), 2);
  EXPECT_EQ(name->Size(), 8);
  EXPECT_TRUE(ds.FieldDefs()->Find("ID")->Required());
  EXPECT_FALSE(ds.Active()) << "reading the definitions does not open";

  ds.Open();
  EXPECT_TRUE(ds.FieldByName("ID")->Required());
  EXPECT_EQ(ds.FieldByName("NAME")->Size(), 8);
  EXPECT_EQ(ds.FieldByName("NAME")->Index(), 1);
  EXPECT_THROW(ds.FieldByName("ID")->SetDataSet(nullptr), EDatabaseError) << "open dataset";

  // A persistent field of a wrong type is refused at open.
  ds.Close();
  auto* wrong = new TStringField(&ds);
  wrong->SetFieldName("ID");
  wrong->SetDataSet(&ds);
  EXPECT_THROW(ds.Open(), EDatabaseError);
  delete wrong;
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 2);
}

}  // namespace
}  // namespace tessel::test

namespace tessel::test {
namespace {

TEST(Fields, PersistentFieldsBindToTheirColumnsOrSayWhyNot) {
  struct Case {
    const char* what;
    TFieldType type;
    const char* name;
    int size;
    const char* error;  // null: opens
    int bound_size;     // the field's size once open
  };
  const Case cases[] = {
      {"matching", ftString, "NAME", 8, nullptr, 8},
      {"room to spare", ftString, "NAME", 12, nullptr, 12},
      {"wrong type", ftString, "ID", 8,
       "Type mismatch for field 'ID', expecting: String actual: Integer", 8},
      {"no such column", ftInteger, "PRICE", 0, "Field 'PRICE' not found", 0},
      // Declared shorter than the column: the field takes the column's size,
      // so the longest value fits its buffer whole.
      {"string shorter than its column", ftString, "NAME", 4, nullptr, 8},
      {"bytes shorter than their column", ftBytes, "CODE", 2, nullptr, 3},
  };
  for (const Case& c : cases) {
    TMemDataSet ds(nullptr, {{"ID", ftInteger}, {"NAME", ftString, 8}, {"CODE", ftBytes, 3}});
    TField* field = CreateFieldOfType(c.type, nullptr);
    field->SetFieldName(c.name);
    if (c.size > 0) field->SetSize(c.size);
    field->SetDataSet(&ds);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), c.error != nullptr ? c.error : "(no error)") << c.what;
    EXPECT_EQ(ds.Active(), c.error == nullptr) << c.what;
    EXPECT_EQ(ds.FieldCount(), 1) << c.what << ": persistent fields only";
    EXPECT_EQ(field->Size(), c.bound_size) << c.what;
    delete field;
  }
}

}  // namespace
}  // namespace tessel::test

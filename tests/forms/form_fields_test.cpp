// Persistent fields in form files: nested in their dataset's object, read
// back as fields of that dataset owned by the form, written byte for byte.

#include <gtest/gtest.h>

#include "framework/data_module.h"
#include "framework/field_kinds.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {
namespace {

class FormFields : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }
};

// Every field class, each with the properties it publishes off their
// defaults, in the order the writer writes them.
const char* const kEveryField =
    "object Module: TDataModule\n"
    "  object Products: TTessel\n"
    "    CacheAllRecords = False\n"
    "    CacheMaxRecords = 0\n"
    "    Params = <>\n"
    "    UpdateParams.UpdateMode = upWhereChanged\n"
    "    Options = []\n"
    "  end\n"
    "  object Lines: TTessel\n"
    "    CacheAllRecords = False\n"
    "    CacheMaxRecords = 0\n"
    "    Params = <>\n"
    "    UpdateParams.UpdateMode = upWhereChanged\n"
    "    Options = []\n"
    "    object Linesproduct_id: TIntegerField\n"
    "      DisplayLabel = 'Product'\n"
    "      FieldName = 'product_id'\n"
    "      Required = True\n"
    "    end\n"
    "    object Linesproduct: TStringField\n"
    "      DisplayWidth = 30\n"
    "      FieldKind = fkLookup\n"
    "      FieldName = 'product'\n"
    "      LookupDataSet = Products\n"
    "      LookupKeyFields = 'product_id'\n"
    "      LookupResultField = 'name'\n"
    "      KeyFields = 'product_id'\n"
    "      Size = 40\n"
    "    end\n"
    "    object Linesamount: TCurrencyField\n"
    "      FieldKind = fkCalculated\n"
    "      FieldName = 'amount'\n"
    "      ReadOnly = True\n"
    "      OnChange = AmountChanged\n"
    "    end\n"
    "    object Linesprice: TBCDField\n"
    "      FieldName = 'price'\n"
    "      DefaultExpression = '0'\n"
    "      Precision = 12\n"
    "      Size = 2\n"
    "    end\n"
    "    object Linesflags: TSmallintField\n"
    "      FieldName = 'flags'\n"
    "      Visible = False\n"
    "    end\n"
    "    object Lineslegacy: TWordField\n"
    "      FieldName = 'legacy'\n"
    "    end\n"
    "    object Linesid: TAutoIncField\n"
    "      FieldName = 'id'\n"
    "    end\n"
    "    object Linesbig: TLargeintField\n"
    "      FieldName = 'big'\n"
    "    end\n"
    "    object Linesok: TBooleanField\n"
    "      FieldName = 'ok'\n"
    "    end\n"
    "    object Linesweight: TFloatField\n"
    "      FieldName = 'weight'\n"
    "      OnValidate = WeightValid\n"
    "    end\n"
    "    object Linesday: TDateField\n"
    "      FieldName = 'day'\n"
    "    end\n"
    "    object Linesat: TTimeField\n"
    "      FieldName = 'at'\n"
    "    end\n"
    "    object Lineswhen: TDateTimeField\n"
    "      FieldName = 'when'\n"
    "    end\n"
    "    object Linescode: TBytesField\n"
    "      FieldName = 'code'\n"
    "      Size = 4\n"
    "    end\n"
    "    object Linesstamp: TVarBytesField\n"
    "      FieldName = 'stamp'\n"
    "    end\n"
    "    object Linespicture: TBlobField\n"
    "      FieldName = 'picture'\n"
    "    end\n"
    "    object Linesnote: TMemoField\n"
    "      FieldName = 'note'\n"
    "    end\n"
    "  end\n"
    "  object LinesSource: TDataSource\n"
    "    DataSet = Lines\n"
    "  end\n"
    "end\n";

std::unique_ptr<TComponent> ReadDesigning(const std::string& text) {
  TFormReadOptions options;
  options.bind_events = false;
  return ReadComponentText(text, "fields.tfm", options);
}

TEST_F(FormFields, EveryFieldClassReadsIntoItsDatasetAndWritesBackByteForByte) {
  const std::unique_ptr<TComponent> root = ReadDesigning(kEveryField);
  EXPECT_EQ(WriteComponentText(*root), kEveryField);

  auto& lines = dynamic_cast<TTessel&>(*root->FindComponent("Lines"));
  ASSERT_EQ(lines.FieldCount(), 17);
  const char* const order[] = {"product_id", "product", "amount", "price",   "flags", "legacy",
                               "id",         "big",     "ok",     "weight",  "day",   "at",
                               "when",       "code",    "stamp",  "picture", "note"};
  for (int i = 0; i < lines.FieldCount(); ++i) {
    const TField& field = *lines.Fields()->List()[static_cast<std::size_t>(i)];
    EXPECT_EQ(field.FieldName(), order[i]) << "file order is field order";
    EXPECT_EQ(field.Owner(), root.get()) << field.Name() << " belongs to the form";
    EXPECT_EQ(field.DataSet(), &lines);
  }
  const TField& product = *lines.FieldByName("product");
  EXPECT_EQ(product.FieldKind(), fkLookup);
  EXPECT_EQ(product.LookupDataSet(), root->FindComponent("Products"));
  EXPECT_EQ(product.Size(), 40);
  EXPECT_EQ(product.DisplayWidth(), 30);
  EXPECT_EQ(lines.FieldByName("product_id")->DisplayLabel(), "Product");
  EXPECT_EQ(lines.FieldByName("amount")->FieldKind(), fkCalculated);
  EXPECT_EQ(dynamic_cast<TBCDField&>(*lines.FieldByName("price")).Precision(), 12);
  EXPECT_FALSE(lines.FieldByName("flags")->Visible());
}

TEST_F(FormFields, FieldsMadeInCodeAreWrittenInTheirDatasetAndDefaultFieldsAreNot) {
  TDataModule module(nullptr);
  module.SetName("Module");
  auto* query = new TTessel(&module);
  query->SetName("Q");
  auto* id = new TIntegerField(&module);
  id->SetName("Qid");
  id->SetFieldName("id");
  id->SetDataSet(query);
  // A default field belongs to the dataset and is made again at every open.
  auto* transient = new TStringField(query);
  transient->SetFieldName("name");
  transient->SetDataSet(query);
  // A field of no dataset stays at the top level.
  auto* loose = new TFloatField(&module);
  loose->SetName("Loose");

  const std::string text = WriteComponentText(module);
  EXPECT_EQ(text,
            "object Module: TDataModule\n"
            "  object Q: TTessel\n"
            "    CacheAllRecords = False\n"
            "    CacheMaxRecords = 0\n"
            "    Params = <>\n"
            "    UpdateParams.UpdateMode = upWhereChanged\n"
            "    Options = []\n"
            "    object Qid: TIntegerField\n"
            "      FieldName = 'id'\n"
            "    end\n"
            "  end\n"
            "  object Loose: TFloatField\n"
            "  end\n"
            "end\n");
  const std::unique_ptr<TComponent> read = ReadDesigning(text);
  EXPECT_EQ(dynamic_cast<TField&>(*read->FindComponent("Loose")).DataSet(), nullptr);
  EXPECT_EQ(WriteComponentText(*read), text);
}

TEST_F(FormFields, HandWrittenKindFlagsAreReadAndLeftToFieldKind) {
  // What people write by hand: the kind as a flag, properties in any order.
  const std::unique_ptr<TComponent> root = ReadDesigning(
      "object M: TDataModule\n"
      "  object P: TTessel\n"
      "  end\n"
      "  object L: TTessel\n"
      "    object Lname: TStringField\n"
      "      Lookup = True\n"
      "      Size = 40\n"
      "      KeyFields = 'product_id'\n"
      "      LookupResultField = 'name'\n"
      "      LookupKeyFields = 'product_id'\n"
      "      LookupDataSet = P\n"
      "      FieldName = 'product_name'\n"
      "    end\n"
      "    object Ltotal: TFloatField\n"
      "      Calculated = True\n"
      "      FieldName = 'total'\n"
      "    end\n"
      "  end\n"
      "end\n");
  auto& lines = dynamic_cast<TTessel&>(*root->FindComponent("L"));
  EXPECT_EQ(lines.FieldByName("product_name")->FieldKind(), fkLookup);
  EXPECT_EQ(lines.FieldByName("total")->FieldKind(), fkCalculated);
  const std::string text = WriteComponentText(*root);
  EXPECT_EQ(text.find("Lookup = "), std::string::npos) << text;
  EXPECT_NE(text.find("FieldKind = fkLookup"), std::string::npos) << text;
}

}  // namespace
}  // namespace tessel

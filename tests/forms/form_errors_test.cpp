// Bad form files: each is refused with the file name and the line, and
// leaves nothing behind in the owner it was read into.

#include <gtest/gtest.h>

#include "framework/data_module.h"
#include "framework/event_handlers.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {
namespace {

struct BadForm {
  const char* what;
  const char* text;
  int line;
  const char* message;
};

const BadForm kBadForms[] = {
    {"empty", "", 1, "The file is empty"},
    {"no object", "thing S: TSQLServer\nend\n", 1, "Expected 'object'"},
    {"missing '='", "object S: TSQLServer\n  ServerName 'x'\nend\n", 2,
     "Expected '=' after ServerName"},
    {"no value", "object S: TSQLServer\n  ServerName = \nend\n", 3, "Expected a value but found"},
    {"unknown class", "object M: TDataModule\n  object X: TNoSuchThing\n  end\nend\n", 2,
     "Class TNoSuchThing is not registered"},
    {"not a component", "object P: TParams\nend\n", 1, "not a component a form can create"},
    {"unknown property", "object S: TSQLServer\n  ServerTimeout = 5\n  Compression = True\nend\n",
     3, "Property Compression does not exist in TSQLServer"},
    {"unknown nested property", "object Q: TTessel\n  UpdateParams.Table = 'x'\nend\n", 2,
     "Property Table does not exist in TUpdateParams"},
    {"design place on a nested object", "object Q: TTessel\n  UpdateParams.Left = 3\nend\n", 2,
     "Property Left does not exist in TUpdateParams"},
    {"design place out of range", "object S: TSQLServer\n  Top = 5\n  Left = 32768\nend\n", 3,
     "S.Left: 32768 is out of range (-32768..32767)"},
    {"design place as a string", "object S: TSQLServer\n  Top = '5'\nend\n", 2,
     "S.Top expects an integer, not a string"},
    {"string for an integer", "object S: TSQLServer\n  ServerTimeout = '30'\nend\n", 2,
     "S.ServerTimeout expects an integer, not a string"},
    {"integer too large", "object S: TSQLServer\n  ServerTimeout = 2147483648\nend\n", 2,
     "2147483648 is out of range (-2147483648..2147483647)"},
    {"negative cardinal", "object Q: TTessel\n  CacheMaxRecords = -1\nend\n", 2, "out of range"},
    {"number beyond 64 bits", "object S: TSQLServer\n  Tag = 99999999999999999999\nend\n", 2,
     "is not a number or is too large"},
    {"unknown enumerator", "object S: TSQLServer\n  NetLibrary = nlCarrierPigeon\nend\n", 2,
     "nlCarrierPigeon is not a value of TNetLibrary"},
    {"boolean as number", "object S: TSQLServer\n  Connected = 1\nend\n", 2,
     "expects True or False, not an integer"},
    {"unknown set element", "object Q: TTessel\n  Options = [LocalEdit, Turbo]\nend\n", 2,
     "Turbo is not an element of TOption"},
    {"set without brackets", "object Q: TTessel\n  Options = LocalEdit\nend\n", 2,
     "expects a set in [ ], not a name"},
    {"missing reference",
     "object M: TDataModule\n  object Q: TTessel\n    DataBaseName = Nowhere\n"
     "  end\nend\n",
     3, "Q.DataBaseName: there is no component named Nowhere in the form"},
    {"reference of the wrong class",
     "object M: TDataModule\n  object D: TDataSource\n  end\n  object Q: TTessel\n"
     "    DataBaseName = D\n  end\nend\n",
     5, "Q.DataBaseName must name a TSQLServer, but D is a TDataSource"},
    {"duplicate name",
     "object M: TDataModule\n  object S: TSQLServer\n  end\n"
     "  object s: TSQLServer\n  end\nend\n",
     4, "already exists"},
    {"invalid name",
     "object M: TDataModule\n  object S: TSQLServer\n  end\n  object 9: TSQLServer\n"
     "  end\nend\n",
     4, "Expected a component name"},
    {"unknown field class",
     "object M: TDataModule\n  object Q: TTessel\n    object Qx: TStrangeField\n"
     "    end\n  end\nend\n",
     3, "Class TStrangeField is not registered"},
    {"lookup dataset that does not exist",
     "object M: TDataModule\n  object Q: TTessel\n    object Qname: TStringField\n"
     "      FieldKind = fkLookup\n      LookupDataSet = Products\n    end\n  end\nend\n",
     5, "Qname.LookupDataSet: there is no component named Products in the form"},
    {"field in a data source",
     "object M: TDataModule\n  object D: TDataSource\n    object Dx: TIntegerField\n"
     "    end\n  end\nend\n",
     3, "Field Dx cannot be placed in D: a field belongs to a dataset, and D is a TDataSource"},
    {"two fields of one name",
     "object M: TDataModule\n  object Q: TTessel\n    object Qa: TIntegerField\n"
     "      FieldName = 'id'\n    end\n    object Qb: TIntegerField\n"
     "      FieldName = 'ID'\n    end\n  end\nend\n",
     7, "Duplicate field name 'ID'"},
    {"unknown field kind",
     "object M: TDataModule\n  object Q: TTessel\n    object Qa: TIntegerField\n"
     "      FieldKind = fkMagic\n    end\n  end\nend\n",
     4, "Qa.FieldKind: fkMagic is not a value of TFieldKind"},
    {"parameter value of the wrong type",
     "object Q: TTessel\n  Params = <\n    item\n      DataType = ftInteger\n"
     "      Value = 'twelve'\n    end>\nend\n",
     5, "twelve"},
    {"lines without .Strings", "object Q: TTessel\n  SQL = (\n    'select 1')\nend\n", 2,
     "Q.SQL is a string list; its lines are set as Q.SQL.Strings"},
    {"number in a string list", "object Q: TTessel\n  SQL.Strings = (\n    'a'\n    1)\nend\n", 4,
     "expects strings only, not an integer"},
    {"odd hex digits", "object Q: TTessel\n  Data = {\n    ABC}\nend\n", 3, "odd number"},
    {"bad hex digit", "object Q: TTessel\n  Data = {0G}\nend\n", 2, "Expected a hexadecimal digit"},
    {"control character code too large", "object S: TSQLServer\n  ServerName = #256\nend\n", 2,
     "#0 to #255"},
    {"item without end",
     "object Q: TTessel\n  Params = <\n    item\n      Name = 'a'\n    >\nend\n", 5,
     "Expected a property name or 'end'"},
    {"unknown event handler", "object S: TSQLServer\n  OnLogin = NobodyHome\nend\n", 2,
     "S.OnLogin: no event handler named NobodyHome is registered"},
    {"text after the end", "object S: TSQLServer\nend\nobject T: TSQLServer\nend\n", 3,
     "Text after the end of the form"},
    // Cut short at every kind of place.
    {"cut in a string", "object S: TSQLServer\n  ServerName = 'local", 2, "Unterminated string"},
    {"cut after a property",
     "object M: TDataModule\n  object S: TSQLServer\n    ServerName = 'x'\n", 4,
     "The file ends inside object S; 'end' is missing"},
    {"cut in a list", "object Q: TTessel\n  SQL.Strings = (\n    'select'", 3,
     "The file ends inside a list"},
    {"cut in a collection", "object Q: TTessel\n  Params = <\n    item\n", 4,
     "The file ends inside a collection item"},
    {"cut in binary data", "object Q: TTessel\n  Data = {\n    0102", 3,
     "The file ends inside binary data"},
    {"cut after '='", "object S: TSQLServer\n  ServerName =", 2, "The file ends where a value"},
};

class FormErrors : public ::testing::TestWithParam<BadForm> {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }
};

TEST_P(FormErrors, RefusedWithFileAndLineLeavingNothingBehind) {
  const BadForm& bad = GetParam();
  TDataModule owner(nullptr);
  TFormReadOptions options;
  options.owner = &owner;
  try {
    ReadComponentText(bad.text, "bad.tfm", options);
    FAIL() << bad.what << ": read without complaint";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.FileName(), "bad.tfm");
    EXPECT_EQ(e.Line(), bad.line) << e.Message();
    EXPECT_NE(e.What().find(bad.message), std::string::npos) << e.Message();
    EXPECT_EQ(e.Message().rfind("bad.tfm:" + std::to_string(bad.line) + ": ", 0), 0U)
        << e.Message();
  }
  EXPECT_EQ(owner.ComponentCount(), 0) << bad.what;
}

INSTANTIATE_TEST_SUITE_P(BadInput, FormErrors, ::testing::ValuesIn(kBadForms),
                         [](const ::testing::TestParamInfo<BadForm>& info) {
                           std::string name;
                           for (const char c : std::string(info.param.what)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

class FormFailures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }
};

TEST_F(FormFailures, DeepNestingIsRefusedNotFollowed) {
  std::string text = "object M: TDataModule\n";
  for (int i = 0; i < 10000; ++i) text += "object C" + std::to_string(i) + ": TComponent\n";
  EXPECT_THROW(ReadComponentText(text), EFormError);
}

TEST_F(FormFailures, BadReferenceStopsTheLoadBeforeAnyServerConnects) {
  // The server would try to connect in Loaded; the bad reference is found
  // first, so the error is the reference's and no connection is tried.
  const char* text =
      "object M: TDataModule\n"
      "  object S: TSQLServer\n"
      "    ServerName = '127.0.0.1:1'\n"
      "    Connected = True\n"
      "  end\n"
      "  object Q: TTessel\n"
      "    DataBaseName = S\n"
      "    UpdateObject = Missing\n"
      "  end\n"
      "end\n";
  try {
    ReadComponentText(text, "orders.tfm");
    FAIL() << "read without complaint";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Line(), 8);
    EXPECT_NE(e.What().find("no component named Missing"), std::string::npos) << e.Message();
  }
}

TEST_F(FormFailures, FailingSetterUndoesTheReferencesAlreadySet) {
  // Each query follows the other's data source: the second link is refused,
  // after the first was set; everything must still come apart cleanly.
  const char* text =
      "object M: TDataModule\n"
      "  object A: TTessel\n"
      "    DataSource = SB\n"
      "  end\n"
      "  object SA: TDataSource\n"
      "    DataSet = A\n"
      "  end\n"
      "  object B: TTessel\n"
      "    DataSource = SA\n"
      "  end\n"
      "  object SB: TDataSource\n"
      "    DataSet = B\n"
      "  end\n"
      "end\n";
  TDataModule owner(nullptr);
  TFormReadOptions options;
  options.owner = &owner;
  try {
    ReadComponentText(text, "loop.tfm", options);
    FAIL() << "a circular master-detail link was accepted";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Line(), 12) << e.Message();
  }
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST_F(FormFailures, MissingFileNamesTheFile) {
  try {
    ReadComponentFile("/nonexistent/form.tfm");
    FAIL() << "read a file that is not there";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.FileName(), "/nonexistent/form.tfm");
    EXPECT_EQ(e.Line(), 0);
  }
}

TEST_F(FormFailures, WriterRefusesWhatCouldNotBeReadBack) {
  TDataModule module(nullptr);
  TSQLServer outside(nullptr);
  outside.SetName("Elsewhere");
  auto* query = new TTessel(&module);
  query->SetName("Q");
  query->SetSQLServer(&outside);
  EXPECT_THROW(WriteComponentText(module), EWriteError);
  query->SetSQLServer(nullptr);

  // A class the registry does not know.
  class TUnknown : public TComponent {
   public:
    using TComponent::TComponent;
  };
  new TUnknown(&module);
  EXPECT_THROW(WriteComponentText(module), EWriteError);
}

}  // namespace
}  // namespace tessel

// Form text: defaults left out, the exact layout of a sample form, and the
// write-read-write round trip, including the query's opaque "Data".

#include <gtest/gtest.h>

#include "framework/data_module.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {
namespace {

class FormText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }

  // Reads text and writes the result again.
  static std::string Rewrite(const std::string& text) {
    return WriteComponentText(*ReadComponentText(text));
  }
};

TEST_F(FormText, DefaultsAreLeftOut) {
  TDataModule module(nullptr);
  module.SetName("Module");
  auto* server = new TSQLServer(&module);
  server->SetName("SQLServer1");
  auto* query = new TTessel(&module);
  query->SetName("Tessel1");
  auto* update = new TSQLUpdate(&module);
  update->SetName("SQLUpdate1");
  auto* source = new TDataSource(&module);
  source->SetName("DataSource1");

  // Left in: the query's properties without a stored default, and the
  // update mode, which has none either.
  EXPECT_EQ(WriteComponentText(module),
            "object Module: TDataModule\n"
            "  object SQLServer1: TSQLServer\n"
            "  end\n"
            "  object Tessel1: TTessel\n"
            "    CacheAllRecords = False\n"
            "    CacheMaxRecords = 0\n"
            "    Params = <>\n"
            "    UpdateParams.UpdateMode = upWhereChanged\n"
            "    Options = []\n"
            "  end\n"
            "  object SQLUpdate1: TSQLUpdate\n"
            "  end\n"
            "  object DataSource1: TDataSource\n"
            "  end\n"
            "end\n");
}

TEST_F(FormText, EveryPropertyOffItsDefaultReadsBackEqual) {
  TDataModule module(nullptr);
  module.SetName("Module");
  auto* server = new TSQLServer(&module);
  server->SetName("Server");
  server->SetTag(-7);
  server->SetApplicationName("app");
  server->SetServerName("127.0.0.1:1433");
  server->SetDataBaseName("shop");
  server->SetUsername("sa");
  server->SetPassword("it's #1\tsecret");
  server->SetKeepConnections(true);
  server->SetOEMConvert(true);
  server->SetNetLibrary(nlTCPIP);
  server->SetServerTimeout(-1);
  server->SetTrustedLogin(true);
  auto* query = new TTessel(&module);
  query->SetName("Query");
  query->SetCacheAllRecords(true);
  query->SetCacheMaxRecords(4294967295U);
  query->SetParamCheck(false);
  query->SetMaxTimeSlice(2147483647);
  query->SetBlobTableName("notes");
  query->UpdateParams()->KeyFields()->Add("id");
  query->UpdateParams()->UpdateFields()->Add("qty");
  query->UpdateParams()->UpdateFields()->Add("note");
  query->UpdateParams()->SetTableName("orders");
  query->UpdateParams()->SetUpdateMode(upWhereKeyOnly);
  query->SetOptions({ConvertBlankToNull, LocalEdit});
  query->SQL()->Add("select * from orders");
  query->SQL()->Add("");
  query->SetSQLServer(server);

  const std::string text = WriteComponentText(module);
  const auto read = ReadComponentText(text);
  auto* s = dynamic_cast<TSQLServer*>(read->FindComponent("Server"));
  auto* q = dynamic_cast<TTessel*>(read->FindComponent("Query"));
  ASSERT_NE(s, nullptr);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(s->Tag(), -7);
  EXPECT_EQ(s->ApplicationName(), "app");
  EXPECT_EQ(s->ServerName(), "127.0.0.1:1433");
  EXPECT_EQ(s->DataBaseName(), "shop");
  EXPECT_EQ(s->Username(), "sa");
  EXPECT_EQ(s->Password(), "it's #1\tsecret");
  EXPECT_TRUE(s->KeepConnections());
  EXPECT_TRUE(s->OEMConvert());
  EXPECT_EQ(s->NetLibrary(), nlTCPIP);
  EXPECT_EQ(s->ServerTimeout(), -1);
  EXPECT_TRUE(s->TrustedLogin());
  EXPECT_FALSE(s->Connected());
  EXPECT_TRUE(q->CacheAllRecords());
  EXPECT_EQ(q->CacheMaxRecords(), 4294967295U);
  EXPECT_FALSE(q->ParamCheck());
  EXPECT_EQ(q->MaxTimeSlice(), 2147483647);
  EXPECT_EQ(q->BlobTableName(), "notes");
  EXPECT_EQ(q->UpdateParams()->KeyFields()->Text(), "id\n");
  EXPECT_EQ(q->UpdateParams()->UpdateFields()->Text(), "qty\nnote\n");
  EXPECT_EQ(q->UpdateParams()->TableName(), "orders");
  EXPECT_EQ(q->UpdateParams()->UpdateMode(), upWhereKeyOnly);
  EXPECT_EQ(q->Options(), (TOption{ConvertBlankToNull, LocalEdit}));
  EXPECT_EQ(q->SQL()->Count(), 2);
  EXPECT_EQ(q->DataBaseName(), s);
  EXPECT_EQ(s->QueryCount(), 1);
  // Every component left the loading state.
  EXPECT_FALSE(q->ComponentState().Contains(csLoading));
  EXPECT_FALSE(s->ComponentState().Contains(csLoading));
  EXPECT_EQ(WriteComponentText(*read), text);
}

// A server, a master query with its data source, a detail query that follows
// it, an update object, and parameters of every type.
std::unique_ptr<TDataModule> SampleForm() {
  auto module = std::make_unique<TDataModule>(nullptr);
  module->SetName("Orders");
  auto* server = new TSQLServer(module.get());
  server->SetName("SQLServer1");
  server->SetServerName("127.0.0.1:1433");
  server->SetDataBaseName("shop");
  server->SetUsername("sa");
  server->SetNetLibrary(nlTCPIP);
  auto* master = new TTessel(module.get());
  master->SetName("OrdersQuery");
  master->SetSQLServer(server);
  master->SQL()->Add("select * from orders");
  master->SQL()->Add("where placed >= :since and note <> 'it''s'");
  master->ParamByName("since")->SetAsDateTime(36526.5);
  auto* source = new TDataSource(module.get());
  source->SetName("OrdersSource");
  source->SetDataSet(master);
  auto* update = new TSQLUpdate(module.get());
  update->SetName("ItemsUpdate");
  update->ModifySQL()->Add("update items set qty = :qty");
  update->ModifySQL()->Add("where id = :OLD_id");
  update->DeleteSQL()->Add("delete from items where id = :OLD_id");
  auto* detail = new TTessel(module.get());
  detail->SetName("ItemsQuery");
  detail->SetSQLServer(server);
  detail->SetDataSource(source);
  detail->SetUpdateObject(update);
  detail->SQL()->Add("select * from items where order_id = :id");
  detail->Params()->Items(0)->SetDataType(ftInteger);
  TParams* p = detail->Params();
  p->CreateParam(ftString, "s", ptInput)->SetAsString("O'Brien\r\nline 2");
  p->CreateParam(ftSmallint, "si", ptInput)->SetAsSmallInt(-32768);
  p->CreateParam(ftInteger, "i", ptInput)->SetAsInteger(2147483647);
  p->CreateParam(ftWord, "w", ptInput)->SetAsWord(65535);
  p->CreateParam(ftBoolean, "b", ptInput)->SetAsBoolean(true);
  p->CreateParam(ftFloat, "f", ptInput)->SetAsFloat(0.1);
  p->CreateParam(ftCurrency, "c", ptInput)->SetAsCurrency(12.3456);
  // The typed setters change the data type; SetValue keeps it.
  p->CreateParam(ftBCD, "bcd", ptInput)->SetValue(Variant(-1.25));
  p->CreateParam(ftDate, "d", ptInput)->SetAsDate(36225);
  p->CreateParam(ftTime, "t", ptInput)->SetAsTime(0.75);
  p->CreateParam(ftDateTime, "dt", ptInput)->SetAsDateTime(36225.75);
  p->CreateParam(ftBytes, "by", ptInput)->SetValue(Variant(TBytes{0x00, 0xFF, 0x10}));
  p->CreateParam(ftVarBytes, "vb", ptInput)->SetAsBytes({});
  p->CreateParam(ftAutoInc, "ai", ptOutput)->SetValue(Variant(42));
  p->CreateParam(ftBlob, "bl", ptInput)->SetAsBlob(std::string("a\0b", 3));
  p->CreateParam(ftMemo, "m", ptInputOutput)->SetAsMemo("memo");
  p->CreateParam(ftString, "nul", ptResult);
  return module;
}

TEST_F(FormText, SampleFormHasTheClassicLayout) {
  const auto module = SampleForm();
  const std::string text = WriteComponentText(*module);
  EXPECT_EQ(text,
            "object Orders: TDataModule\n"
            "  object SQLServer1: TSQLServer\n"
            "    ServerName = '127.0.0.1:1433'\n"
            "    DataBaseName = 'shop'\n"
            "    Username = 'sa'\n"
            "    NetLibrary = nlTCPIP\n"
            "  end\n"
            "  object OrdersQuery: TTessel\n"
            "    CacheAllRecords = False\n"
            "    CacheMaxRecords = 0\n"
            "    Params = <\n"
            "      item\n"
            "        DataType = ftDateTime\n"
            "        Name = 'since'\n"
            "        Value = 36526.5\n"
            "      end>\n"
            "    UpdateParams.UpdateMode = upWhereChanged\n"
            "    Options = []\n"
            "    DataBaseName = SQLServer1\n"
            "    SQL.Strings = (\n"
            "      'select * from orders'\n"
            "      'where placed >= :since and note <> ''it''''s''')\n"
            "  end\n"
            "  object OrdersSource: TDataSource\n"
            "    DataSet = OrdersQuery\n"
            "  end\n"
            "  object ItemsUpdate: TSQLUpdate\n"
            "    ModifySQL.Strings = (\n"
            "      'update items set qty = :qty'\n"
            "      'where id = :OLD_id')\n"
            "    DeleteSQL.Strings = (\n"
            "      'delete from items where id = :OLD_id')\n"
            "  end\n"
            "  object ItemsQuery: TTessel\n"
            "    CacheAllRecords = False\n"
            "    CacheMaxRecords = 0\n"
            "    Params = <\n"
            "      item\n"
            "        DataType = ftInteger\n"
            "        Name = 'id'\n"
            "      end\n"
            "      item\n"
            "        DataType = ftString\n"
            "        Name = 's'\n"
            "        ParamType = ptInput\n"
            "        Value = 'O''Brien'#13#10'line 2'\n"
            "      end\n"
            "      item\n"
            "        DataType = ftSmallint\n"
            "        Name = 'si'\n"
            "        ParamType = ptInput\n"
            "        Value = -32768\n"
            "      end\n"
            "      item\n"
            "        DataType = ftInteger\n"
            "        Name = 'i'\n"
            "        ParamType = ptInput\n"
            "        Value = 2147483647\n"
            "      end\n"
            "      item\n"
            "        DataType = ftWord\n"
            "        Name = 'w'\n"
            "        ParamType = ptInput\n"
            "        Value = 65535\n"
            "      end\n"
            "      item\n"
            "        DataType = ftBoolean\n"
            "        Name = 'b'\n"
            "        ParamType = ptInput\n"
            "        Value = True\n"
            "      end\n"
            "      item\n"
            "        DataType = ftFloat\n"
            "        Name = 'f'\n"
            "        ParamType = ptInput\n"
            "        Value = 0.1\n"
            "      end\n"
            "      item\n"
            "        DataType = ftCurrency\n"
            "        Name = 'c'\n"
            "        ParamType = ptInput\n"
            "        Value = 12.3456\n"
            "      end\n"
            "      item\n"
            "        DataType = ftBCD\n"
            "        Name = 'bcd'\n"
            "        ParamType = ptInput\n"
            "        Value = -1.25\n"
            "      end\n"
            "      item\n"
            "        DataType = ftDate\n"
            "        Name = 'd'\n"
            "        ParamType = ptInput\n"
            "        Value = 36225.0\n"
            "      end\n"
            "      item\n"
            "        DataType = ftTime\n"
            "        Name = 't'\n"
            "        ParamType = ptInput\n"
            "        Value = 0.75\n"
            "      end\n"
            "      item\n"
            "        DataType = ftDateTime\n"
            "        Name = 'dt'\n"
            "        ParamType = ptInput\n"
            "        Value = 36225.75\n"
            "      end\n"
            "      item\n"
            "        DataType = ftBytes\n"
            "        Name = 'by'\n"
            "        ParamType = ptInput\n"
            "        Value = {\n"
            "          00FF10}\n"
            "      end\n"
            "      item\n"
            "        DataType = ftVarBytes\n"
            "        Name = 'vb'\n"
            "        ParamType = ptInput\n"
            "        Value = {}\n"
            "      end\n"
            "      item\n"
            "        DataType = ftAutoInc\n"
            "        Name = 'ai'\n"
            "        ParamType = ptOutput\n"
            "        Value = 42\n"
            "      end\n"
            "      item\n"
            "        DataType = ftBlob\n"
            "        Name = 'bl'\n"
            "        ParamType = ptInput\n"
            "        Value = 'a'#0'b'\n"
            "      end\n"
            "      item\n"
            "        DataType = ftMemo\n"
            "        Name = 'm'\n"
            "        ParamType = ptInputOutput\n"
            "        Value = 'memo'\n"
            "      end\n"
            "      item\n"
            "        DataType = ftString\n"
            "        Name = 'nul'\n"
            "        ParamType = ptResult\n"
            "      end>\n"
            "    UpdateObject = ItemsUpdate\n"
            "    DataSource = OrdersSource\n"
            "    Options = []\n"
            "    DataBaseName = SQLServer1\n"
            "    SQL.Strings = (\n"
            "      'select * from items where order_id = :id')\n"
            "  end\n"
            "end\n");
  EXPECT_EQ(Rewrite(text), text);
}

TEST_F(FormText, SampleFormReadsBackItsLinksAndValues) {
  const auto read = ReadComponentText(WriteComponentText(*SampleForm()));
  auto* server = dynamic_cast<TSQLServer*>(read->FindComponent("SQLServer1"));
  auto* master = dynamic_cast<TTessel*>(read->FindComponent("OrdersQuery"));
  auto* detail = dynamic_cast<TTessel*>(read->FindComponent("ItemsQuery"));
  auto* source = dynamic_cast<TDataSource*>(read->FindComponent("OrdersSource"));
  auto* update = dynamic_cast<TSQLUpdate*>(read->FindComponent("ItemsUpdate"));
  ASSERT_TRUE(server && master && detail && source && update);
  EXPECT_EQ(server->QueryCount(), 2);
  EXPECT_EQ(source->DataSet(), master);
  EXPECT_EQ(detail->DataSource(), source);
  EXPECT_EQ(detail->UpdateObject(), update);
  EXPECT_EQ(update->DataSet(), detail);
  EXPECT_EQ(update->ModifySQL()->Text(), "update items set qty = :qty\nwhere id = :OLD_id\n");
  EXPECT_EQ(update->InsertSQL()->Count(), 0);
  // The statement query takes the text read from the file.
  EXPECT_EQ(update->GetQuery(ukDelete)->Params()->Count(), 1);
  // The settings read from the file survive the update object's arrival.
  EXPECT_NE(detail->UpdateParams(), nullptr);

  const TParams& p = *detail->Params();
  EXPECT_EQ(p.ParamByName("s")->AsString(), "O'Brien\r\nline 2");
  EXPECT_EQ(p.ParamByName("si")->AsSmallInt(), -32768);
  EXPECT_EQ(p.ParamByName("w")->AsWord(), 65535);
  EXPECT_TRUE(p.ParamByName("b")->AsBoolean());
  EXPECT_EQ(p.ParamByName("f")->AsFloat(), 0.1);
  EXPECT_EQ(p.ParamByName("dt")->AsDateTime(), 36225.75);
  EXPECT_EQ(p.ParamByName("by")->AsBytes(), (TBytes{0x00, 0xFF, 0x10}));
  EXPECT_EQ(p.ParamByName("bl")->AsBlob(), std::string("a\0b", 3));
  EXPECT_EQ(p.ParamByName("ai")->ParamType(), ptOutput);
  EXPECT_TRUE(p.ParamByName("nul")->IsNull());
  const auto original = SampleForm();
  EXPECT_TRUE(p.IsEqual(*dynamic_cast<TTessel*>(original->FindComponent("ItemsQuery"))->Params()));
}

TEST_F(FormText, DataIsWrittenAfterThePropertiesAndReadBackByteForByte) {
  TDataModule module(nullptr);
  module.SetName("Module");
  auto* query = new TTessel(&module);
  query->SetName("Query");
  TMemoryStream data;
  for (int i = 0; i < 40; ++i) {
    const auto byte = static_cast<std::uint8_t>(i * 7);
    data.WriteBuffer(&byte, 1);
  }
  data.SetPosition(0);
  query->ReadBinaryData(data);

  const std::string text = WriteComponentText(module);
  EXPECT_NE(text.find("    Options = []\n"
                      "    Data = {\n"
                      "      00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9\n"
                      "      E0E7EEF5FC030A11}\n"
                      "  end\n"),
            std::string::npos)
      << text;
  const auto read = ReadComponentText(text);
  auto* q = dynamic_cast<TTessel*>(read->FindComponent("Query"));
  ASSERT_TRUE(q->HasBinaryData());
  TMemoryStream back;
  q->WriteBinaryData(back);
  EXPECT_EQ(back.Bytes(), data.Bytes());
  EXPECT_EQ(WriteComponentText(*read), text);

  // An empty block is kept as one.
  EXPECT_EQ(Rewrite("object Q: TTessel\n  Data = {}\nend\n"),
            "object Q: TTessel\n"
            "  CacheAllRecords = False\n"
            "  CacheMaxRecords = 0\n"
            "  Params = <>\n"
            "  UpdateParams.UpdateMode = upWhereChanged\n"
            "  Options = []\n"
            "  Data = {}\n"
            "end\n");
}

TEST_F(FormText, DesignPlacesAreWrittenAsLeftAndTopAndReadBack) {
  TDataModule module(nullptr);
  module.SetName("Module");
  auto* server = new TSQLServer(&module);
  server->SetName("Server");
  server->SetDesignInfo(MakeDesignInfo(24, 300));
  auto* update = new TSQLUpdate(&module);
  update->SetName("Update");
  update->SetDesignInfo(MakeDesignInfo(-12, 0));
  auto* source = new TDataSource(&module);
  source->SetName("Source");
  source->SetDesignInfo(MakeDesignInfo(0, 32767));
  auto* unplaced = new TSQLUpdate(&module);
  unplaced->SetName("Unplaced");

  // After the published properties, each half only when it is not 0.
  const std::string text = WriteComponentText(module);
  EXPECT_EQ(text,
            "object Module: TDataModule\n"
            "  object Server: TSQLServer\n"
            "    Left = 24\n"
            "    Top = 300\n"
            "  end\n"
            "  object Update: TSQLUpdate\n"
            "    Left = -12\n"
            "  end\n"
            "  object Source: TDataSource\n"
            "    Top = 32767\n"
            "  end\n"
            "  object Unplaced: TSQLUpdate\n"
            "  end\n"
            "end\n");
  const auto read = ReadComponentText(text);
  EXPECT_EQ(read->DesignInfo(), 0);
  EXPECT_EQ(read->FindComponent("Server")->DesignInfo(), MakeDesignInfo(24, 300));
  EXPECT_EQ(DesignInfoLeft(read->FindComponent("Update")->DesignInfo()), -12);
  EXPECT_EQ(DesignInfoTop(read->FindComponent("Update")->DesignInfo()), 0);
  EXPECT_EQ(DesignInfoTop(read->FindComponent("Source")->DesignInfo()), 32767);
  EXPECT_EQ(read->FindComponent("Unplaced")->DesignInfo(), 0);
  EXPECT_EQ(WriteComponentText(*read), text);

  // The place comes before the query's Data; names are read in any case.
  EXPECT_EQ(Rewrite("object Q: TTessel\n  top = 8\n  Data = {01}\n  LEFT = $10\nend\n"),
            "object Q: TTessel\n"
            "  CacheAllRecords = False\n"
            "  CacheMaxRecords = 0\n"
            "  Params = <>\n"
            "  UpdateParams.UpdateMode = upWhereChanged\n"
            "  Options = []\n"
            "  Left = 16\n"
            "  Top = 8\n"
            "  Data = {\n"
            "    01}\n"
            "end\n");
}

TEST_F(FormText, ReaderAcceptsWhatPeopleWriteByHand) {
  // Case-insensitive keywords and names, comma sets without blanks,
  // strings continued with '+', hexadecimal numbers, tabs, CR LF endings.
  const auto read = ReadComponentText(
      "OBJECT S: tsqlserver\r\n"
      "\tservername = 'a' +\r\n"
      "  'b'#65\r\n"
      "  ServerTimeout = $10\r\n"
      "  tag = -3\r\n"
      "END\r\n");
  auto* server = dynamic_cast<TSQLServer*>(read.get());
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->ServerName(), "abA");
  EXPECT_EQ(server->ServerTimeout(), 16);
  EXPECT_EQ(server->Tag(), -3);
  const auto query =
      ReadComponentText("object Q: TTessel Options = [LocalEdit,ConvertBlankToNull] end");
  EXPECT_EQ(dynamic_cast<TTessel*>(query.get())->Options(),
            (TOption{ConvertBlankToNull, LocalEdit}));
}

}  // namespace
}  // namespace tessel

// Reading text and image values through the query's blob streams: every size
// around the chunk boundary, binary content, nulls, one READTEXT per record,
// the chunk sizes, and failures that must leave the base connection usable.

#include <memory>
#include <string>

#include "blob_fixture.h"
#include "framework/data_consts.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/streams.h"
#include "runtime/blob_stream.h"

namespace tessel::testing {
namespace {

class BlobReadTest : public BlobTest {};

// Packet size 4096 gives chunks of 3996 bytes: values of 0, 1, one chunk,
// one chunk + 1 and several megabytes come back byte for byte, for text,
// ntext and image columns alike.
TEST_F(BlobReadTest, ValuesOfEverySizeReadWhole) {
  const std::size_t sizes[] = {1, 3996, 3997, 2 * 1024 * 1024 + 7};
  std::vector<std::string> rows = {"(0, '', 0x, N'')"};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    const std::string text = Pattern(sizes[i]);
    rows.push_back("(" + std::to_string(i + 1) + ", '" + text + "', " + HexLiteral(text) + ", N'" +
                   text + "')");
  }
  MakeDocs(rows);
  // Megabytes through a sanitized server on a busy machine take their time.
  server->SetServerTimeout(300);
  server->Close();
  server->Open();
  server->SetPacketSize(4096);
  TTessel* query = NewQuery("select id, body, pic, wide from b_docs order by id");
  query->Open();
  EXPECT_EQ(query->FieldByName("body")->DataType(), ftMemo);
  EXPECT_EQ(query->FieldByName("pic")->DataType(), ftBlob);
  EXPECT_EQ(query->FieldByName("body")->AsString(), "") << "an empty text reads as null";
  for (std::size_t size : sizes) {
    query->Next();
    const std::string expected = Pattern(size);
    for (const char* name : {"body", "pic", "wide"}) {
      const std::string got = query->FieldByName(name)->AsString();
      EXPECT_EQ(got.size(), size) << name;
      EXPECT_TRUE(got == expected) << name << " of " << size << " bytes differs";
    }
  }
}

TEST_F(BlobReadTest, BinaryContentKeepsItsZeroBytes) {
  const std::string bytes("\0\1\0\xff\0\0z\0", 8);
  MakeDocs({"(1, 'x', " + HexLiteral(bytes) + ", NULL)"});
  TTessel* query = NewQuery("select * from b_docs");
  query->Open();
  EXPECT_EQ(query->FieldByName("pic")->AsString(), bytes);
  TMemoryStream saved;
  static_cast<TBlobField*>(query->FieldByName("pic"))->SaveToStream(saved);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.Memory()), saved.Size()), bytes);
}

TEST_F(BlobReadTest, NullFieldsGiveAnEmptyUnopenedStream) {
  MakeDocs({"(1, NULL, NULL, NULL)"});
  TTessel* query = NewQuery("select * from b_docs");
  query->Open();
  StartTrace();
  EXPECT_TRUE(query->FieldByName("body")->IsNull());
  EXPECT_EQ(query->FieldByName("body")->AsString(), "");
  TBlobStream stream(static_cast<TBlobField*>(query->FieldByName("pic")), bmRead);
  EXPECT_FALSE(stream.Opened());
  EXPECT_EQ(stream.Size(), 0);
  stream.Truncate();  // has nothing to act on: browse state would refuse a change
  EXPECT_TRUE(TraceLines("READTEXT").empty()) << "a null value needs no server read";
}

// The second read of a record comes from its blob content slot; another
// record is read from the server, and coming back to the first is served by
// what was read for it, without a copy piling up or another READTEXT.
TEST_F(BlobReadTest, OneReadTextServesRepeatedReadsOfARecord) {
  MakeDocs({"(1, 'first body', NULL, NULL)", "(2, 'second body', NULL, NULL)"});
  TTessel* query = NewQuery("select id, body from b_docs order by id");
  query->Open();
  StartTrace();
  EXPECT_EQ(query->FieldByName("body")->AsString(), "first body");
  EXPECT_EQ(query->FieldByName("body")->AsString(), "first body");
  EXPECT_EQ(TraceLines("READTEXT").size(), 1u);
  query->Next();
  EXPECT_EQ(query->FieldByName("body")->AsString(), "second body");
  query->Prior();
  EXPECT_EQ(query->FieldByName("body")->AsString(), "first body");
  EXPECT_EQ(TraceLines("READTEXT").size(), 2u);
}

TEST_F(BlobReadTest, ChunksFollowThePacketSize) {
  MakeDocs({"(1, '" + Pattern(10000) + "', NULL, NULL)"});
  server->Open();
  server->SetPacketSize(4096);
  TTessel* query = NewQuery("select * from b_docs");
  query->Open();
  StartTrace();
  EXPECT_EQ(query->FieldByName("body")->AsString().size(), 10000u);
  const std::vector<int> counts = ReadTextCounts();
  ASSERT_GE(counts.size(), 3u);
  EXPECT_EQ(counts[0], 3996);
  EXPECT_EQ(counts[1], 3996);
  EXPECT_EQ(counts[2], 2008);
  EXPECT_EQ(TraceLines("dbcmd:'SELECT 'EOB' '").size(), 1u);
}

// The READTEXT runs on the base connection: a query reading its rows on its
// own connection keeps its pending rows while text values are read.
TEST_F(BlobReadTest, ReadingDoesNotDisturbRowsStillPending) {
  std::vector<std::string> rows;
  for (int i = 1; i <= 40; ++i) {
    rows.push_back("(" + std::to_string(i) + ", 'body " + std::to_string(i) + "', NULL, NULL)");
  }
  MakeDocs(rows);
  TTessel* query = NewQuery("select id, body from b_docs order by id");
  query->Open();
  int seen = 0;
  for (; !query->Eof(); query->Next()) {
    ++seen;
    EXPECT_EQ(query->FieldByName("body")->AsString(),
              "body " + std::to_string(query->FieldByName("id")->AsInteger()));
  }
  EXPECT_EQ(seen, 40);
}

TEST_F(BlobReadTest, BlobTableNameIsUsedVerbatim) {
  MakeDocs({"(1, 'via the property', NULL, NULL)"});
  TTessel* query = NewQuery("select body from b_docs");
  query->SetBlobTableName("dbo.b_docs");
  query->Open();
  EXPECT_EQ(query->LongFieldName("body"), "dbo.b_docs.body");
  EXPECT_EQ(query->FieldByName("body")->AsString(), "via the property");
  EXPECT_EQ(query->FieldList(), nullptr) << "no SQL text examined";
}

// Two tables in FROM and an unqualified text column: the catalog names the
// table bare, and the read must still go to the schema the query wrote, not
// to the default schema's table of the same name.
TEST_F(BlobReadTest, ATableOfAnotherSchemaIsReadThere) {
  try {
    server->InternalExecute("DROP TABLE b_other.b_notes");
  } catch (const ElqSQLError&) {
    // It did not exist.
  }
  try {
    server->InternalExecute("CREATE SCHEMA b_other");
  } catch (const ElqSQLError&) {
    // A run before made it.
  }
  MakeTable("b_other.b_notes", "id int NOT NULL, body text NULL", {"(1, 'in b_other')"});
  MakeTable("b_notes", "id int NOT NULL, body text NULL", {"(1, 'in dbo')"});
  MakeTable("b_keys", "k int NOT NULL", {"(1)"});
  TTessel* query = NewQuery("select body from b_other.b_notes, b_keys where id = k");
  query->Open();
  EXPECT_EQ(query->LongFieldName("body"), "b_other.b_notes.body");
  EXPECT_EQ(query->FieldByName("body")->AsString(), "in b_other");
}

// A row deleted on the server since it was read: a clear error naming the
// column, and the base connection is handed back usable.
TEST_F(BlobReadTest, ARowDeletedMeanwhileRaisesAndTheConnectionStaysUsable) {
  MakeDocs({"(1, 'gone soon', NULL, NULL)", "(2, 'stays', NULL, NULL)"});
  TTessel* query = NewQuery("select id, body from b_docs order by id");
  query->Open();
  server->InternalExecute("DELETE FROM b_docs WHERE id = 1");
  try {
    query->FieldByName("body")->AsString();
    ADD_FAILURE() << "no error";
  } catch (const ElqSQLError& error) {
    EXPECT_NE(std::string(error.what()).find("b_docs.body"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(server->InternalExecute("UPDATE b_docs SET id = 3 WHERE id = 2"));
  query->Next();
  EXPECT_EQ(query->FieldByName("body")->AsString(), "stays");
}

// A procedure's rows: the query's own text has no FROM clause to read.
TEST_F(BlobReadTest, ATableThatCannotBeFoundIsNamedWithTheSQL) {
  MakeDocs({"(1, 'x', NULL, NULL)"});
  try {
    server->InternalExecute("DROP PROCEDURE b_getdocs");
  } catch (const ElqSQLError&) {
    // It did not exist.
  }
  RequireStatement("CREATE PROCEDURE b_getdocs AS SELECT body FROM b_docs");
  TTessel* query = NewQuery("exec b_getdocs");
  query->Open();
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      query->FieldByName("body")->AsString();
      ADD_FAILURE() << "no error";
    } catch (const ElqSQLError& error) {
      ADD_FAILURE() << "the server was asked: " << error.what();
    } catch (const EDatabaseError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("'body'"), std::string::npos) << message;
      EXPECT_NE(message.find("exec b_getdocs"), std::string::npos) << message;
    }
  }
}

// A closed dataset has no record: reading would silently give nothing and
// writing would silently lose what is written.
TEST_F(BlobReadTest, StreamsOnAClosedDatasetAreRefused) {
  MakeDocs({"(1, 'x', NULL, NULL)"});
  TTessel* query = NewQuery("select id, body from b_docs");
  auto* body = new TMemoField(query);
  body->SetFieldName("body");
  body->SetDataSet(query);
  query->Open();
  EXPECT_EQ(body->AsString(), "x");
  query->Close();
  for (TBlobStreamMode mode : {bmRead, bmWrite, bmReadWrite}) {
    try {
      query->CreateBlobStream(body, mode);
      ADD_FAILURE() << "no error for mode " << mode;
    } catch (const EDatabaseError& error) {
      EXPECT_STREQ(error.what(), dbconsts::SDataSetClosed);
    }
  }
}

}  // namespace
}  // namespace tessel::testing

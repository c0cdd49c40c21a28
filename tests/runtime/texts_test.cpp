// Message texts: the exact built-in texts, and a translated catalog that
// replaces every one of them, loaded by call or named by the environment.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/lqSQLConst.h"
#include "runtime/lqSQLdb.h"

namespace tessel {
namespace {

const std::vector<std::pair<const ResourceString*, std::string>> kExported = {
    {&SConnectionLost, "Connection to database lost."},
    {&SBookmarkNotFound, "Bookmark not found."},
    {&SNotEdit, "Dataset not in edit mode."},
    {&SFieldReadOnly, "Field '%s' is read-only"},
    {&SFieldRequired, "Field '%s' is required"},
    {&STransactActive,
     "Transaction already started. Must Commit or Rollback before starting new transaction."},
    {&STransactInActive, "No transaction active."},
    {&SRecursiveDataLink, "Recursive datalinks not allowed"},
    {&SUnableToResolveName, "Unable to resolve table name from querystring"},
    {&SAsyncOpenError, "Can not do a async open with CacheAllRecords=True"},
    {&SSortFieldError, "Only fully cached record sets can be sorted"},
    {&SFieldUndefinedType, "Field '%s' is of undefined type."},
    {&SFieldUnsupportedType, "Field '%s' has an unsupported type."},
    {&SParamNotFound, "Parameter '%s' not found."},
    {&SInvalidVersion, "Invalid version"},
    {&SParameterTooBig, "Parameter '%s' too big: %d"},
    {&SUpdateFailed, "Update failed. No rows where affected by transaction."},
    {&STextTrue, "True"},
    {&STextFalse, "False"},
    {&SUnknownUserId, "Server did not accept user id '%s'"},
    {&SWrongPassword, "Wrong password"},
    {&SNoConnection, "Unable to connect to '%s'. Check login parameters"},
    {&SUndefinedSQLServer, "TTessel '%s' has no DataBaseName property defined"},
    {&SNoStatement, "No statement in query"},
    {&SSQLError, "SQL error %d in: %s"},
};

class TextsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetMessageCatalog();
    if (!path_.empty()) unlink(path_.c_str());
  }
  std::string WriteCatalog(const std::string& content) {
    char pattern[] = "/tmp/tessel-catalog-XXXXXX";
    const int fd = mkstemp(pattern);
    EXPECT_GE(fd, 0);
    close(fd);
    path_ = pattern;
    std::ofstream(path_, std::ios::binary) << content;
    return path_;
  }
  std::string path_;
};

TEST_F(TextsTest, BuiltInTextsAreExact) {
  for (const auto& [text, want] : kExported) {
    EXPECT_EQ(text->str(), want) << text->Identifier;
    EXPECT_EQ(std::string(*text), want);
  }
  EXPECT_EQ(Format(SNoConnection.str(), {"db1"}),
            "Unable to connect to 'db1'. Check login parameters");
}

TEST_F(TextsTest, TranslatedCatalogReplacesEveryTextWithoutOtherChanges) {
  std::string catalog = "# German\r\n\r\n";
  for (const auto& [text, want] : kExported) {
    catalog += std::string(text->Identifier) + "=DE " + want + "\r\n";
  }
  catalog += "SLoadLibError=Bibliothek nicht ladbar\nSGetProcAddrError=Einsprung fehlt\n";
  LoadMessageCatalog(WriteCatalog(catalog));
  for (const auto& [text, want] : kExported) {
    EXPECT_EQ(LoadResString(*text), "DE " + want) << text->Identifier;
  }
  EXPECT_EQ(Format(SParameterTooBig.str(), {"p", 7}), "DE Parameter 'p' too big: 7");
  try {
    DatabaseError(SNoStatement);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "DE No statement in query");
  }
  ResetMessageCatalog();
  EXPECT_EQ(SNoStatement.str(), "No statement in query");
}

TEST_F(TextsTest, PartialCatalogKeepsTheOtherBuiltInTexts) {
  LoadMessageCatalog(WriteCatalog("SNoStatement=Keine Anweisung = leer\n"));
  EXPECT_EQ(SNoStatement.str(), "Keine Anweisung = leer");
  EXPECT_EQ(SNotEdit.str(), "Dataset not in edit mode.");
}

TEST_F(TextsTest, BadCatalogIsRejectedWithItsLineAndTheCurrentOneStays) {
  LoadMessageCatalog(WriteCatalog("SNoStatement=A\n"));
  try {
    LoadMessageCatalog(WriteCatalog("SNoStatement=B\nSNoStatment=typo\n"));
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("line 2"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("SNoStatment"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(LoadMessageCatalog(WriteCatalog("no equals sign\n")), EConvertError);
  EXPECT_THROW(LoadMessageCatalog("/nonexistent/catalog"), EInOutError);
  EXPECT_EQ(SNoStatement.str(), "A");
}

TEST_F(TextsTest, CatalogNamedByTheEnvironmentTranslatesTheLoaderMessages) {
  const std::string path = WriteCatalog("SLoadLibError=Bibliothek nicht ladbar\n");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("TESSEL_MESSAGES", path.c_str(), 1);
        setenv("TESSEL_DBLIB", "/nonexistent/libntwdblib.so", 1);
        try {
          InitializeDBLIB();
        } catch (const ElqDBLIBError& e) {
          std::exit(e.Message() == "Bibliothek nicht ladbar" ? 0 : 1);
        }
        std::exit(2);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tessel

#pragma once

// The package's message texts. Each text is named by an identifier and looked
// up in the current message catalog every time it is used, so a translated
// catalog replaces every message without touching code.
//
// A catalog is a UTF-8 text file of "Identifier=Text" lines; blank lines and
// lines starting with '#' are ignored, and everything after the first '=' is
// the text as it stands. Identifiers that a catalog leaves out keep their
// built-in text. A catalog is chosen either by LoadMessageCatalog or, before
// the first lookup of a process, by the environment variable
// TESSEL_MESSAGES naming the file. Lookups and catalog changes may come from
// any thread.

#include <string>
#include <string_view>

namespace tessel {

// One localisable text: its identifier and its built-in text. Converting it to
// a string looks the identifier up in the current catalog at that moment.
struct ResourceString {
  const char* Identifier;
  const char* Text;

  // The current text for this identifier (a fresh string every time).
  std::string str() const;
  operator std::string() const { return str(); }
};

// Same as Text.str(); the familiar name for a lookup.
inline std::string LoadResString(const ResourceString& text) {
  return text.str();
}

// Replaces the current catalog with the file at `path`. Raises EInOutError
// naming the file when it cannot be read, and EConvertError naming the file,
// the line number and the identifier when a line has no '=' or names an
// identifier the package does not know; the current catalog then stays.
void LoadMessageCatalog(const std::string& path);

// Goes back to the built-in texts (the environment variable is not read again).
void ResetMessageCatalog();

// Strings exported for the package and for applications.
inline constexpr ResourceString SConnectionLost{"SConnectionLost", "Connection to database lost."};
inline constexpr ResourceString SBookmarkNotFound{"SBookmarkNotFound", "Bookmark not found."};
inline constexpr ResourceString SNotEdit{"SNotEdit", "Dataset not in edit mode."};
inline constexpr ResourceString SFieldReadOnly{"SFieldReadOnly", "Field '%s' is read-only"};
inline constexpr ResourceString SFieldRequired{"SFieldRequired", "Field '%s' is required"};
inline constexpr ResourceString STransactActive{
    "STransactActive",
    "Transaction already started. Must Commit or Rollback before starting new transaction."};
inline constexpr ResourceString STransactInActive{"STransactInActive", "No transaction active."};
inline constexpr ResourceString SRecursiveDataLink{"SRecursiveDataLink",
                                                   "Recursive datalinks not allowed"};
inline constexpr ResourceString SUnableToResolveName{
    "SUnableToResolveName", "Unable to resolve table name from querystring"};
inline constexpr ResourceString SAsyncOpenError{
    "SAsyncOpenError", "Can not do a async open with CacheAllRecords=True"};
inline constexpr ResourceString SSortFieldError{"SSortFieldError",
                                                "Only fully cached record sets can be sorted"};
inline constexpr ResourceString SFieldUndefinedType{"SFieldUndefinedType",
                                                    "Field '%s' is of undefined type."};
inline constexpr ResourceString SFieldUnsupportedType{"SFieldUnsupportedType",
                                                      "Field '%s' has an unsupported type."};
inline constexpr ResourceString SSortCalcField{
    "SSortCalcField", "Field '%s' is a calculated or lookup field and cannot be sorted on"};
inline constexpr ResourceString SLocateCalcField{
    "SLocateCalcField", "Field '%s' is a calculated or lookup field and cannot be a search key"};
inline constexpr ResourceString SLocateKeyCount{"SLocateKeyCount",
                                                "%d key values given for the %d key fields '%s'"};
inline constexpr ResourceString SParamNotFound{"SParamNotFound", "Parameter '%s' not found."};
inline constexpr ResourceString SInvalidVersion{"SInvalidVersion", "Invalid version"};
inline constexpr ResourceString SParameterTooBig{"SParameterTooBig", "Parameter '%s' too big: %d"};
inline constexpr ResourceString SUpdateFailed{
    "SUpdateFailed", "Update failed. No rows where affected by transaction."};
inline constexpr ResourceString STextTrue{"STextTrue", "True"};
inline constexpr ResourceString STextFalse{"STextFalse", "False"};
inline constexpr ResourceString SUnknownUserId{"SUnknownUserId",
                                               "Server did not accept user id '%s'"};
inline constexpr ResourceString SWrongPassword{"SWrongPassword", "Wrong password"};
inline constexpr ResourceString SNoConnection{"SNoConnection",
                                              "Unable to connect to '%s'. Check login parameters"};
inline constexpr ResourceString SUndefinedSQLServer{
    "SUndefinedSQLServer", "TTessel '%s' has no DataBaseName property defined"};
inline constexpr ResourceString SNoStatement{"SNoStatement", "No statement in query"};
inline constexpr ResourceString SSQLError{"SSQLError", "SQL error %d in: %s"};
inline constexpr ResourceString SBlobTableUnknown{
    "SBlobTableUnknown", "No table found for text or image field '%s' in: %s"};
inline constexpr ResourceString SBlobStreamReadOnly{
    "SBlobStreamReadOnly", "The blob stream of field '%s' is open for reading only"};
inline constexpr ResourceString SColumnTypeUnsupported{
    "SColumnTypeUnsupported", "Column '%s' has the type %s, which a query cannot hold"};

}  // namespace tessel

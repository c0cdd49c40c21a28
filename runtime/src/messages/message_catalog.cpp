// The message catalog: built-in texts, replaced per identifier by a catalog
// file. Every lookup goes through here, so nothing holds a text across a
// change of catalog.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "binding/dblib_texts.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "posting/posting_texts.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

using Catalog = std::unordered_map<std::string, std::string>;

const ResourceString* const kAllTexts[] = {
    &SConnectionLost,
    &SBookmarkNotFound,
    &SNotEdit,
    &SFieldReadOnly,
    &SFieldRequired,
    &STransactActive,
    &STransactInActive,
    &SRecursiveDataLink,
    &SUnableToResolveName,
    &SAsyncOpenError,
    &SSortFieldError,
    &SFieldUndefinedType,
    &SFieldUnsupportedType,
    &SSortCalcField,
    &SLocateCalcField,
    &SLocateKeyCount,
    &SParamNotFound,
    &SInvalidVersion,
    &SParameterTooBig,
    &SUpdateFailed,
    &STextTrue,
    &STextFalse,
    &SUnknownUserId,
    &SWrongPassword,
    &SNoConnection,
    &SUndefinedSQLServer,
    &SNoStatement,
    &SSQLError,
    &SBlobTableUnknown,
    &SBlobStreamReadOnly,
    &SColumnTypeUnsupported,
    &detail::SLoadLibError,
    &detail::SGetProcAddrError,
    &detail::SUpdateFailedIn,
    &detail::SNoUpdateTable,
    &detail::SUpdateColumnNotFound,
    &detail::SNoUpdateSettings,
    &detail::STooLongCharacters,
    &detail::STooLongInCodePage,
    &detail::STooLongBytes,
};

bool IsKnownIdentifier(const std::string& id) {
  for (const ResourceString* text : kAllTexts) {
    if (id == text->Identifier) return true;
  }
  return false;
}

std::shared_mutex catalog_mutex;
std::unique_ptr<const Catalog> catalog;  // guarded by catalog_mutex; empty: built-in texts
std::once_flag environment_checked;

Catalog ReadCatalog(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("Cannot read message catalog '" + path + "'");
  Catalog result;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) {
      throw EConvertError(
          Format("Message catalog '%s' line %d has no '=': %s", {path, number, line}));
    }
    std::string id = Trim(line.substr(0, eq));
    if (!IsKnownIdentifier(id)) {
      throw EConvertError(Format("Message catalog '%s' line %d names an unknown identifier '%s'",
                                 {path, number, id}));
    }
    result[id] = line.substr(eq + 1);
  }
  if (in.bad()) throw EInOutError("Cannot read message catalog '" + path + "'");
  return result;
}

void Install(std::unique_ptr<const Catalog> replacement) {
  std::unique_lock lock(catalog_mutex);
  catalog = std::move(replacement);
}

// A catalog named by TESSEL_MESSAGES is read before the first lookup. A lookup
// must not fail, so a bad file is reported once on stderr and the built-in
// texts stay.
void LoadFromEnvironment() {
  const char* path = std::getenv("TESSEL_MESSAGES");
  if (path == nullptr || *path == '\0') return;
  try {
    Install(std::make_unique<const Catalog>(ReadCatalog(path)));
  } catch (const Exception& e) {
    std::fprintf(stderr, "tessel: %s; using the built-in messages\n", e.Message().c_str());
  }
}

}  // namespace

std::string ResourceString::str() const {
  std::call_once(environment_checked, LoadFromEnvironment);
  std::shared_lock lock(catalog_mutex);
  if (catalog != nullptr) {
    auto it = catalog->find(Identifier);
    if (it != catalog->end()) return it->second;
  }
  return Text;
}

void LoadMessageCatalog(const std::string& path) {
  std::call_once(environment_checked, [] {});
  Install(std::make_unique<const Catalog>(ReadCatalog(path)));
}

void ResetMessageCatalog() {
  std::call_once(environment_checked, [] {});
  Install(nullptr);
}

}  // namespace tessel

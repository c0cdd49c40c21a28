#include "catalog_session.h"

#include "design_texts.h"
#include "framework/field.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"

namespace tessel {

TlqCatalogSession::TlqCatalogSession() = default;

TlqCatalogSession::~TlqCatalogSession() {
  End();
}

void TlqCatalogSession::Begin(TSQLServer* server) {
  End();
  FWasConnected = server->Connected();
  FQuery = std::make_unique<TTessel>(nullptr);
  FQuery->SetCacheAllRecords(true);
  FQuery->SetSQLServer(server);
}

TSQLServer* TlqCatalogSession::Server() const {
  return FQuery != nullptr ? FQuery->DataBaseName() : nullptr;
}

void TlqCatalogSession::Connect() {
  if (TSQLServer* server = Server()) server->Open();
}

std::vector<std::string> TlqCatalogSession::Tables() {
  return FirstColumn(design::kTablesSQL);
}

std::vector<std::string> TlqCatalogSession::Columns(const std::string& table) {
  return FirstColumn(design::kColumnsSQL + QuotedStr(table));
}

std::vector<std::string> TlqCatalogSession::FirstColumn(const std::string& sql) {
  std::vector<std::string> values;
  if (FQuery == nullptr) return values;
  FQuery->Close();
  FQuery->SQL()->SetText(sql);
  FQuery->Open();
  try {
    for (FQuery->First(); !FQuery->Eof(); FQuery->Next()) {
      values.push_back((*FQuery->Fields())[0]->AsString());
    }
  } catch (...) {
    FQuery->Close();
    throw;
  }
  FQuery->Close();
  return values;
}

void TlqCatalogSession::End() noexcept {
  try {
    if (TSQLServer* server = Server()) server->SetConnected(FWasConnected);
  } catch (...) {
    // Nothing to report to: the dialog is going away.
  }
  FQuery.reset();
}

}  // namespace tessel

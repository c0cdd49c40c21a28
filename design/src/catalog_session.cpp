#include "catalog_session.h"

#include "design_texts.h"
#include "framework/field.h"
#include "framework/field_defs.h"
#include "framework/params.h"
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

void TlqCatalogSession::DescribeQuery(const TTessel& query, TFieldDefs& columns) {
  columns.Clear();
  if (FQuery == nullptr) return;
  FQuery->Close();
  FQuery->SQL()->SetText(query.SQL()->Text());
  FQuery->Params()->Assign(query.Params());
  FQuery->FieldDefs()->SetUpdated(false);
  FQuery->FieldDefs()->Update();
  const TFieldDefs& read = *FQuery->FieldDefs();
  for (int i = 0; i < read.Count(); ++i) {
    const TFieldDef* def = read[i];
    columns.Add(def->Name(), def->DataType(), def->Size(), def->Required(), def->FieldNo())
        ->SetPrecision(def->Precision());
  }
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

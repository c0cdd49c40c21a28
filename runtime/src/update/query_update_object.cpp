// TSQLUpdate: the update object's three statement texts, the statement query
// it keeps for each, and applying the current record of its query through
// them.

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr int kSQLVARBINARY = 37;

// Splits "OLD_name" (any case) into "name" and true; other names stay.
std::string FieldNameOf(const std::string& param, bool& old) {
  old = param.size() >= 4 && SameText(param.substr(0, 4), "OLD_");
  return old ? param.substr(4) : param;
}

// The next word of text from at (blanks and "--" comments skipped): up to a
// blank or '('; a bracketed part may hold either.
std::string NextWord(const std::string& text, std::size_t& at) {
  for (;;) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (text.compare(at, 2, "--") != 0) break;
    at = text.find('\n', at);
    if (at == std::string::npos) at = text.size();
  }
  const std::size_t from = at;
  bool bracketed = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '[') bracketed = true;
    if (c == ']') bracketed = false;
    if (!bracketed && (std::isspace(static_cast<unsigned char>(c)) || c == '(')) break;
  }
  return text.substr(from, at - from);
}

// The table an UPDATE or INSERT statement writes to; "" for any other
// statement (a procedure call, a batch starting otherwise), whose columns
// only the server knows.
std::string TargetTable(const std::string& text) {
  std::size_t at = 0;
  const std::string verb = NextWord(text, at);
  if (SameText(verb, "update")) return NextWord(text, at);
  if (!SameText(verb, "insert")) return {};
  std::string table = NextWord(text, at);
  if (SameText(table, "into")) table = NextWord(text, at);
  return table;
}

}  // namespace

TSQLUpdate::TSQLUpdate(TComponent* owner) : TComponent(owner) {
  for (auto& text : FSQLText) {
    text = std::make_unique<TStringList>();
    text->OnChange = [this](TObject* sender) { SQLChanged(sender); };
  }
}

TSQLUpdate::~TSQLUpdate() {
  Destroying();
  if (FDataSet != nullptr && FDataSet->UpdateObject() == this) FDataSet->SetUpdateObject(nullptr);
  // The statement queries go while the texts still exist; the removal notice
  // of each clears its entry.
  DestroyComponents();
  for (auto& text : FSQLText) text->OnChange = nullptr;
}

void TSQLUpdate::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  for (TTessel*& query : FQueries) {
    if (query == component) query = nullptr;
  }
}

int TSQLUpdate::CheckedIndex(int Index) {
  if (Index < 0 || Index >= kKinds)
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  return Index;
}

TStrings* TSQLUpdate::GetSQLIndex(int Index) const {
  return FSQLText[static_cast<std::size_t>(CheckedIndex(Index))].get();
}

void TSQLUpdate::SetSQLIndex(int Index, const TStrings* Value) {
  FSQLText[static_cast<std::size_t>(CheckedIndex(Index))]->Assign(Value);
}

TTessel* TSQLUpdate::GetQuery(TUpdateKind UpdateKind) {
  TTessel*& query = FQueries[static_cast<std::size_t>(CheckedIndex(UpdateKind))];
  if (query == nullptr) {
    auto fresh = std::make_unique<TTessel>(this);
    fresh->SQL()->Assign(FSQLText[UpdateKind].get());
    fresh->SetReportsRowCount(true);
    if (FDataSet != nullptr) fresh->SetSQLServer(FDataSet->DataBaseName());
    query = fresh.release();
  }
  return query;
}

void TSQLUpdate::SQLChanged(TObject* Sender) {
  for (std::size_t kind = 0; kind < FSQLText.size(); ++kind) {
    if (FSQLText[kind].get() != Sender) continue;
    TTessel* query = FQueries[kind];
    if (query == nullptr) return;
    query->Params()->Clear();
    query->SQL()->Assign(FSQLText[kind].get());
    return;
  }
}

void TSQLUpdate::SetParams(TUpdateKind UpdateKind) {
  if (FDataSet == nullptr) return;
  TTessel* query = GetQuery(UpdateKind);
  TParams* params = query->Params();
  for (int i = 0; i < params->Count(); ++i) {
    TParam* param = params->Items(i);
    bool old = false;
    TField* field = FDataSet->FindField(FieldNameOf(param->Name(), old));
    if (field == nullptr) continue;
    if (old) {
      param->AssignFieldValue(field, field->OldValue());
      continue;
    }
    Variant value = field->NewValue();
    if (value.IsEmpty()) value = field->OldValue();
    param->AssignFieldValue(field, value);
    if (field->FieldNo() > 0 && FDataSet->ColumnType(field->FieldNo()) == kSQLVARBINARY) {
      param->SetDataType(ftVarBytes);
    }
  }
}

void TSQLUpdate::ExecSQL(TUpdateKind UpdateKind) {
  TTessel* query = GetQuery(UpdateKind);
  query->FollowBaseConnection();
  query->InternalExecSQL(qtSQLUpdate);
  if (query->RowsAffected() != 0) return;
  if (FDataSet != nullptr) FDataSet->NoRowsAffected(std::string());
  DatabaseError(SUpdateFailed.str());
}

void TSQLUpdate::UpdateMaster(TUpdateKind UpdateKind) {
  if (FDataSet == nullptr) return;
  TRecordBuffer buffer = nullptr;
  if (!FDataSet->GetActiveRecBuf(buffer)) return;
  TParams* params = GetQuery(UpdateKind)->Params();
  for (int i = 0; i < params->Count(); ++i) {
    const TParam* param = params->Items(i);
    bool old = false;
    const TField* field = FDataSet->FindField(FieldNameOf(param->Name(), old));
    if (field == nullptr) continue;
    if (field->DataType() != ftBlob && field->DataType() != ftMemo) continue;
    // A null value is stored as empty content.
    FDataSet->SetBlobData(field, buffer, param->AsString());
  }
}

// New text the statement's table would store as '?' is refused before
// anything is sent, as for generated statements.
void TSQLUpdate::CheckCodePageText(TUpdateKind UpdateKind) {
  if (FDataSet == nullptr || UpdateKind == ukDelete) return;
  TParams* params = GetQuery(UpdateKind)->Params();
  std::vector<TField*> fields;
  for (int i = 0; i < params->Count(); ++i) {
    bool old = false;
    TField* field = FDataSet->FindField(FieldNameOf(params->Items(i)->Name(), old));
    if (field != nullptr && !old) fields.push_back(field);
  }
  if (fields.empty()) return;
  FDataSet->CheckCodePageText(TargetTable(FSQLText[UpdateKind]->Text()), fields);
}

void TSQLUpdate::Apply(TUpdateKind UpdateKind) {
  SetParams(UpdateKind);
  CheckCodePageText(UpdateKind);
  ExecSQL(UpdateKind);
  if (UpdateKind != ukDelete) UpdateMaster(UpdateKind);
}

void TSQLUpdate::Close() {
  for (TTessel* query : FQueries) {
    if (query != nullptr) query->Close();
  }
}

}  // namespace tessel

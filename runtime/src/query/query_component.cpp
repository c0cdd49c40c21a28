// TTessel as a component: construction and destruction, the references it
// keeps to other components, its simple property setters, and the opaque
// "Data" block.

#include <utility>

#include "framework/sysutils.h"
#include "framework/thread.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "search/locate_index.h"

namespace tessel {

TTessel::TTessel(TComponent* owner) : TDataSet(owner) {
  FSQL = std::make_unique<TStringList>();
  FSQL->OnChange = [this](TObject* sender) { QueryChanged(sender); };
  FParams = std::make_unique<TParams>(this);
  FUpdateParams = std::make_unique<TUpdateParams>();
  FParamCheck = true;
  FDataLink = std::make_unique<TTesselDataLink>(this);
  FBlobList = std::make_unique<TStringList>();
  FMaxTimeSlice = 50;
  FThreadActive = false;
}

TTessel::~TTessel() {
  FQueryDestroying = true;
  // A worker still running the statement must stop, and let go of the
  // query, before anything it uses goes; marking the query and the fields
  // the worker is making as destroying is such a use.
  StopAsync();
  Destroying();
  try {
    if (FDBProcess != nullptr) Disconnect();
  } catch (const std::exception&) {
    // A destructor cannot report; the connection component closes what is left.
  }
  FBlobList.reset();
  try {
    Close();
  } catch (const std::exception&) {
  }
  if (FUpdateObject != nullptr) {
    FUpdateObject->SetDataSet(nullptr);
    RemoveFreeNotification(FUpdateObject);
    FUpdateObject = nullptr;
  }
  FDataLink->SetDataSource(nullptr);
  if (FDataBaseName != nullptr) {
    std::exchange(FDataBaseName, nullptr)->RemoveQuery(this);
  }
}

void TTessel::Notification(TComponent* component, TOperation operation) {
  TDataSet::Notification(component, operation);
  if (operation != opRemove) return;
  if (FUpdateObject != nullptr && component == FUpdateObject) SetUpdateObject(nullptr);
  if (FDataLink && component == FDataLink->DataSource()) SetDataSource(nullptr);
}

void TTessel::SetSQL(const TStrings* Value) {
  FSQL->Assign(Value);
}

void TTessel::SetSQLServer(TSQLServer* Value) {
  if (Value == FDataBaseName) return;
  if (FDataBaseName != nullptr) {
    Close();
    Disconnect();
    // The server's destructor detaches its queries through DetachFromServer,
    // so the reference never outlives it.
    std::exchange(FDataBaseName, nullptr)->RemoveQuery(this);
  }
  if (Value != nullptr) {
    FDataBaseName = Value;
    Value->AddQuery(this);
  }
}

void TTessel::SetParamsList(const TParams* Value) {
  if (Value != nullptr) FParams->AssignValues(*Value);
}

// nullptr discards the settings: the query then posts only through an update
// object or with LocalEdit. Any other value is copied; the caller keeps it.
void TTessel::SetUpdateParams(const TUpdateParams* Value) {
  if (Value == nullptr) {
    FUpdateParams.reset();
    return;
  }
  if (!ComponentState().Contains(csLoading)) SetUpdateObject(nullptr);
  if (FUpdateParams == nullptr) FUpdateParams = std::make_unique<TUpdateParams>();
  if (Value != FUpdateParams.get()) FUpdateParams->Assign(Value);
}

void TTessel::SetUpdateObject(TSQLUpdate* Value) {
  if (Value == FUpdateObject) return;
  if (Value != nullptr) FOptions.Exclude(LocalEdit);
  if (FUpdateObject != nullptr) {
    if (FUpdateObject->DataSet() == this) FUpdateObject->SetDataSet(nullptr);
    RemoveFreeNotification(FUpdateObject);
  }
  FUpdateObject = Value;
  if (Value == nullptr) return;
  FreeNotification(Value);
  Value->SetDataSet(this);
  // An update object and generated-update settings are not used together.
  if (!ComponentState().Contains(csLoading)) SetUpdateParams(nullptr);
}

void TTessel::SetOptions(TOption Value) {
  FOptions = Value;
  if (FOptions.Contains(LocalEdit)) SetUpdateObject(nullptr);
}

void TTessel::SetDataSource(TDataSource* Value) {
  if (Value != nullptr && IsLinkedTo(Value)) RaiseDatabaseError(SRecursiveDataLink);
  TDataSource* old = FDataLink->DataSource();
  if (old == Value) return;
  if (old != nullptr) RemoveFreeNotification(old);
  FDataLink->SetDataSource(Value);
  if (Value != nullptr) FreeNotification(Value);
}

void TTessel::SetPrepared(bool Value) {
  if (Value) {
    Prepare();
  } else {
    Unprepare();
  }
}

void TTessel::ReadBinaryData(TStream& Stream) {
  auto block = std::make_unique<std::vector<std::uint8_t>>(
      static_cast<std::size_t>(Stream.Size() - Stream.Position()));
  Stream.ReadBuffer(block->data(), static_cast<std::int64_t>(block->size()));
  FParamData = std::move(block);
}

void TTessel::WriteBinaryData(TStream& Stream) const {
  if (FParamData == nullptr) return;
  Stream.WriteBuffer(FParamData->data(), static_cast<std::int64_t>(FParamData->size()));
}

// --- companions -----------------------------------------------------------------

void TUpdateParams::Assign(const TPersistent* source) {
  if (source == nullptr) return;
  const auto* other = dynamic_cast<const TUpdateParams*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  FUpdateFields.Assign(&other->FUpdateFields);
  FKeyFields.Assign(&other->FKeyFields);
  FTableName = other->FTableName;
  FUpdateMode = other->FUpdateMode;
}

void TTesselDataLink::ActiveChanged() {
  if (FQuery->Active()) FQuery->RefreshParams();
}

void TTesselDataLink::CheckBrowseMode() {
  if (FQuery->Active()) FQuery->CheckBrowseMode();
}

void TTesselDataLink::RecordChanged(TField* Field) {
  if (Field == nullptr && FQuery->Active()) FQuery->RefreshParams();
}

}  // namespace tessel

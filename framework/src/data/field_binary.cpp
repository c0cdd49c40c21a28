// Binary fields (bytes, varbytes), blob and memo fields, and the field
// class for each data type.

#include <cstring>
#include <vector>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

// --- TBytesField ----------------------------------------------------------------

TBytesField::TBytesField(TComponent* owner) : TBytesField(owner, ftBytes) {}

TBytesField::TBytesField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
  SetSize(16);
}

std::string TBytesField::AsString() const {
  std::string data(static_cast<std::size_t>(Size()), '\0');
  if (!GetData(data.data())) return {};
  return data;
}

void TBytesField::SetAsString(const std::string& value) {
  if (static_cast<int>(value.size()) > Size()) {
    DatabaseError(
        Format(dbconsts::SBytesTooLong, {static_cast<int>(value.size()), DisplayName(), Size()}));
  }
  std::string data(static_cast<std::size_t>(Size()), '\0');
  std::memcpy(data.data(), value.data(), value.size());
  SetData(data.data());
}

// --- TVarBytesField -------------------------------------------------------------

TVarBytesField::TVarBytesField(TComponent* owner) : TBytesField(owner, ftVarBytes) {}

std::string TVarBytesField::AsString() const {
  std::vector<char> data(static_cast<std::size_t>(DataSize()), '\0');
  if (!GetData(data.data())) return {};
  std::uint16_t length = 0;
  std::memcpy(&length, data.data(), sizeof length);
  if (length > Size()) length = static_cast<std::uint16_t>(Size());
  return std::string(data.data() + 2, length);
}

void TVarBytesField::SetAsString(const std::string& value) {
  if (static_cast<int>(value.size()) > Size() || value.size() > 65535) {
    DatabaseError(
        Format(dbconsts::SBytesTooLong, {static_cast<int>(value.size()), DisplayName(), Size()}));
  }
  std::vector<char> data(static_cast<std::size_t>(DataSize()), '\0');
  const auto length = static_cast<std::uint16_t>(value.size());
  std::memcpy(data.data(), &length, sizeof length);
  std::memcpy(data.data() + 2, value.data(), value.size());
  SetData(data.data());
}

// --- TBlobField -----------------------------------------------------------------

TBlobField::TBlobField(TComponent* owner) : TBlobField(owner, ftBlob) {}

TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
}

std::string TBlobField::AsString() const {
  std::unique_ptr<TStream> stream =
      CheckedDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  if (!stream) return {};
  std::string content(static_cast<std::size_t>(stream->Size()), '\0');
  stream->SetPosition(0);
  content.resize(static_cast<std::size_t>(
      stream->Read(content.data(), static_cast<std::int64_t>(content.size()))));
  return content;
}

void TBlobField::SetAsString(const std::string& value) {
  std::unique_ptr<TStream> stream = CheckedDataSet().CreateBlobStream(this, bmWrite);
  if (!stream) DatabaseError(Format(dbconsts::SBlobNoStream, {DisplayName()}));
  stream->WriteBuffer(value.data(), static_cast<std::int64_t>(value.size()));
}

void TBlobField::Clear() {
  // Empty content first, so that no earlier content is left behind, then the
  // value marked null: empty content alone is a value, as the empty string is.
  CheckedDataSet().CreateBlobStream(this, bmWrite);
  TField::Clear();
}

std::int64_t TBlobField::BlobSize() const {
  std::unique_ptr<TStream> stream =
      CheckedDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  return stream ? stream->Size() : 0;
}

void TBlobField::LoadFromStream(TStream& stream) {
  std::unique_ptr<TStream> blob = CheckedDataSet().CreateBlobStream(this, bmWrite);
  if (!blob) DatabaseError(Format(dbconsts::SBlobNoStream, {DisplayName()}));
  stream.SetPosition(0);
  blob->CopyFrom(stream, 0);
}

void TBlobField::SaveToStream(TStream& stream) const {
  const std::string content = AsString();
  stream.WriteBuffer(content.data(), static_cast<std::int64_t>(content.size()));
}

TMemoField::TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}

// --- field classes ----------------------------------------------------------------

TField* CreateFieldOfType(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString:
      return new TStringField(owner);
    case ftSmallint:
      return new TSmallintField(owner);
    case ftInteger:
      return new TIntegerField(owner);
    case ftWord:
      return new TWordField(owner);
    case ftLargeint:
      return new TLargeintField(owner);
    case ftBoolean:
      return new TBooleanField(owner);
    case ftFloat:
      return new TFloatField(owner);
    case ftCurrency:
      return new TCurrencyField(owner);
    case ftBCD:
      return new TBCDField(owner);
    case ftDate:
      return new TDateField(owner);
    case ftTime:
      return new TTimeField(owner);
    case ftDateTime:
      return new TDateTimeField(owner);
    case ftBytes:
      return new TBytesField(owner);
    case ftVarBytes:
      return new TVarBytesField(owner);
    case ftAutoInc:
      return new TAutoIncField(owner);
    case ftBlob:
      return new TBlobField(owner);
    case ftMemo:
      return new TMemoField(owner);
    default:
      return nullptr;
  }
}

}  // namespace tessel

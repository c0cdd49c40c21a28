// Fetching a text or image value with READTEXT. The exchange runs on the
// connection component's base connection, never on the query's own, so rows
// still pending on the query's result are not disturbed. Whatever happens,
// the base connection is handed back with nothing pending on it.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/blob_stream.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr int kDefaultPacket = 8192;
constexpr int kPacketReserve = 100;
constexpr int kLargestPacket = 65535;

// "0x" and the pointer's 16 bytes as upper-case hexadecimal digits.
std::string HexTextPointer(const BlobDescriptor& descriptor) {
  std::string text = "0x";
  char digits[3];
  for (std::uint8_t byte : descriptor.TextPtr) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

// Leaves the connection with no command, row or result pending.
void Discard(PDBPROCESS process) {
  dbcancel(process);
  dbfreebuf(process);
}

// Hands the base connection back, also when the read failed.
class BaseProcessLease {
 public:
  BaseProcessLease(TSQLServer& server) : server_(server), process_(server.GetBaseProcess()) {}
  ~BaseProcessLease() {
    try {
      server_.DropConnection(nullptr, process_);
    } catch (const std::exception&) {
      // Giving the connection back only cancels or closes; nothing to report.
    }
  }
  BaseProcessLease(const BaseProcessLease&) = delete;
  BaseProcessLease& operator=(const BaseProcessLease&) = delete;
  PDBPROCESS get() const { return process_; }

 private:
  TSQLServer& server_;
  PDBPROCESS process_;
};

}  // namespace

int BlobChunkSize(TSQLServer& Server, PDBPROCESS Process) {
  // A remembered size that leaves no room for a chunk is asked for again.
  if (Server.PacketSize() <= kPacketReserve || Server.PacketSize() > kLargestPacket) {
    int packet = dbgetpacket(Process);
    if (packet <= kPacketReserve || packet > kLargestPacket) packet = kDefaultPacket;
    Server.SetPacketSize(packet);
  }
  return Server.PacketSize() - kPacketReserve;
}

void TBlobStream::ReadFromServer(const BlobDescriptor& Descriptor) {
  TSQLServer* server = FDataSet->DataBaseName();
  if (server == nullptr) {
    RaiseDatabaseError(Format(SUndefinedSQLServer.str(), {FDataSet->Name()}));
  }
  std::string column;
  try {
    column = FDataSet->LongFieldName(FField->FieldName());
  } catch (const ElqSQLError&) {
    throw;
  } catch (const EDatabaseError& error) {
    // The SQL text gave no table: say which field and which text.
    RaiseDatabaseError(
        error.Message() + ". " +
        Format(SBlobTableUnknown.str(), {FField->FieldName(), FDataSet->SQL()->Text()}));
  }
  if (column.find('.') == std::string::npos) {
    RaiseDatabaseError(
        Format(SBlobTableUnknown.str(), {FField->FieldName(), FDataSet->SQL()->Text()}));
  }

  BaseProcessLease lease(*server);
  PDBPROCESS process = lease.get();
  const int chunk = BlobChunkSize(*server, process);
  dbcanquery(process);
  dbcmd(process, ("READTEXT " + column).c_str());
  dbcmd(process, Format(" %s 0 %d", {HexTextPointer(Descriptor), Descriptor.DataLength}).c_str());
  int last = 0;
  try {
    try {
      CheckDBResult(dbsqlexec(process));
      CheckDBResult(dbresults(process));
    } catch (const ElqSQLError& error) {
      throw ElqSQLError(error.ErrorCode(), error.ErrorMessage() + " (READTEXT " + column +
                                               ", field '" + FField->DisplayName() + "')");
    }
    // The stream is sized for the whole value at once, so that reading
    // never holds two growing copies of it.
    TMemoryStream::SetSize(std::max<std::int64_t>(Descriptor.DataLength, 0));
    TMemoryStream::Seek(0, soFromBeginning);
    std::vector<char> buffer(static_cast<std::size_t>(chunk));
    for (last = dbreadtext(process, buffer.data(), chunk); last > 0;
         last = dbreadtext(process, buffer.data(), chunk)) {
      TMemoryStream::Write(buffer.data(), last);
    }
    while (last == 0) last = dbreadtext(process, buffer.data(), chunk);
    if (last == -1) {
      Discard(process);
      DatabaseError("Error reading blob data (dbreadtext)");
    }
    TMemoryStream::SetSize(Position());
  } catch (...) {
    Discard(process);
    throw;
  }
  // Ending the exchange first lets the client library free its copy of the
  // value before the record keeps its own.
  dbcmd(process, "SELECT 'EOB' ");
  if (dbsqlexec(process) != FAIL) {
    if (dbresults(process) == SUCCEED) dbcanquery(process);
    while (dbresults(process) == SUCCEED) {
    }
  } else {
    Discard(process);
  }
  FDataSet->StoreReadBlob(
      FField, FBuffer,
      std::string(reinterpret_cast<const char*>(Memory()), static_cast<std::size_t>(Size())));
}

}  // namespace tessel

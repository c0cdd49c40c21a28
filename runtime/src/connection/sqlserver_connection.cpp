// TSQLServer: login, the base connection and private connections, attached
// queries, and the component's life cycle.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "connection/sqlserver_host.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/lqSQLConst.h"

namespace tessel {

namespace {

// Login items and options, in Microsoft DB-Library's numbering.
constexpr int kDBSETHOST = 1;
constexpr int kDBSETUSER = 2;
constexpr int kDBSETPWD = 3;
constexpr int kDBSETAPP = 4;
constexpr int kDBSETSECURE = 7;
constexpr int kDBVER60 = 9;
constexpr int kDBTEXTLIMIT = 4;
constexpr int kDBTEXTSIZE = 5;
constexpr int kDBANSItoOEM = 14;
constexpr const char* kLargestText = "2147483647";
constexpr std::size_t kWorkstationBuffer = 16;

std::string HostName() {
  char buffer[HOST_NAME_MAX + 1] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return "";
  return buffer;
}

// The client library's handlers are process-wide, while servers open and
// close independently: the package's handlers stay installed as long as any
// server is open, and what was installed before the first one opened comes
// back when the last one closes.
struct InstalledHandlers {
  std::mutex mutex;
  int open_servers = 0;  // guarded by mutex
  DBMSGHANDLE_PROC previous_msg = nullptr;
  DBERRHANDLE_PROC previous_err = nullptr;
};

InstalledHandlers& Handlers() {
  static InstalledHandlers handlers;
  return handlers;
}

}  // namespace

std::string detail::WorkstationName(const char* host_name) {
  if (host_name == nullptr || *host_name == '\0') return "UNKNOWN";
  if (std::strlen(host_name) >= kWorkstationBuffer) return "UNKNOWN";
  return host_name;
}

TSQLServer::TSQLServer(TComponent* owner) : TComponent(owner) {}

TSQLServer::~TSQLServer() {
  Destroying();
  // A destructor cannot report; a failure to close (a trace file that cannot
  // be written) must not end the process.
  try {
    Close();
  } catch (const std::exception&) {
  }
  while (!FQueries.empty()) {
    TlqServerQuery* first = FQueries.front();
    first->DetachFromServer();
    // A query that did not leave would keep this loop going forever.
    if (!FQueries.empty() && FQueries.front() == first) RemoveQuery(first);
  }
  dbRegisterTraceCallback(FOldTraceCallback);
}

void TSQLServer::SetConnected(bool value) {
  if (ComponentState().Contains(csLoading)) {
    FStreamedConnected = value;
  } else if (value) {
    Open();
  } else {
    Close();
  }
}

void TSQLServer::Loaded() {
  TComponent::Loaded();
  if (FStreamedConnected) SetConnected(true);
}

void TSQLServer::Open() {
  if (FConnected) return;
  if (FNetLibrary != nlConfigured) ChangeNetLib();
  InitializeDBLIB();
  InstallHandlers();
  dbinit();
  dbsettime(FServerTimeout);
  dbsetlogintime(FServerTimeout);
  FLoginRec = dblogin();
  try {
    if (FOnLogin) FOnLogin(this);
    PrepareLoginRecord();
    PDBPROCESS test = OpenProcess();
    Sleep(10);
    if (test == nullptr) CheckDBResult(0);
    try {
      SelectDatabase(test);
    } catch (...) {
      dbclose(test);
      throw;
    }
    dbclose(test);
  } catch (...) {
    // The next Open builds a new login record; this one would be lost.
    dbfreelogin(FLoginRec);
    FLoginRec = nullptr;
    RestoreHandlers();
    throw;
  }
  FConnected = true;
}

// A database named but not selectable fails with the server's message: the
// login's default database would silently receive every statement instead.
// An empty name keeps the login's default.
void TSQLServer::SelectDatabase(PDBPROCESS connection) {
  const int selected = dbuse(connection, FDataBaseName.c_str());
  if (!FDataBaseName.empty()) CheckDBResult(selected);
}

void TSQLServer::InstallHandlers() {
  InstalledHandlers& h = Handlers();
  std::lock_guard lock(h.mutex);
  FOldErrHandler = dberrhandle(DBErrHandler);
  FOldMsgHandler = dbmsghandle(DBMsgHandler);
  if (h.open_servers == 0) {
    h.previous_err = FOldErrHandler;
    h.previous_msg = FOldMsgHandler;
  }
  ++h.open_servers;
}

// Another server still open keeps the package's handlers: without them its
// errors would arrive with neither number nor text.
void TSQLServer::RestoreHandlers() {
  InstalledHandlers& h = Handlers();
  std::lock_guard lock(h.mutex);
  if (h.open_servers > 0) --h.open_servers;
  if (h.open_servers > 0) return;
  dbmsghandle(h.previous_msg);
  dberrhandle(h.previous_err);
}

// Steps after OnLogin: every property is read here, after the event.
void TSQLServer::PrepareLoginRecord() {
  CheckDBResult(dbsetlname(FLoginRec, FApplicationName.c_str(), kDBSETAPP));
  const std::string host = HostName();
  dbsetlname(FLoginRec, detail::WorkstationName(host.c_str()).c_str(), kDBSETHOST);
  if (FTrustedLogin) {
    CheckDBResult(dbsetlname(FLoginRec, "", kDBSETSECURE));
  } else {
    CheckDBResult(dbsetlname(FLoginRec, FUsername.c_str(), kDBSETUSER));
    CheckDBResult(dbsetlname(FLoginRec, FPassword.c_str(), kDBSETPWD));
  }
  CheckDBResult(dbsetlname(FLoginRec, "", kDBVER60));
}

// dbopen; an exception from the call itself (a trace line that could not be
// written) becomes SNoConnection. A refused login returns nullptr.
PDBPROCESS TSQLServer::OpenProcess() {
  // The client library writes into the login record while it logs in, and a
  // worker thread may open a connection while the main thread opens another
  // from the same record: one login at a time.
  static std::mutex login_mutex;
  try {
    std::lock_guard lock(login_mutex);
    return dbopen(FLoginRec, FServerName.c_str());
  } catch (...) {
    RaiseDatabaseError(Format(SNoConnection.str(), {FServerName}));
  }
}

void TSQLServer::Close() {
  if (!FConnected) return;
  {
    // Every private connection is really closed, whatever KeepConnections says.
    const bool keep = FKeepConnections;
    FKeepConnections = false;
    struct Restore {
      TSQLServer* server;
      bool keep;
      ~Restore() { server->FKeepConnections = keep; }
    } restore{this, keep};
    for (std::size_t i = FQueries.size(); i-- > 0;) {
      if (i < FQueries.size()) FQueries[i]->CloseQueryCursor();
    }
    if (FBaseProcess != nullptr) {
      PDBPROCESS base = FBaseProcess;
      FBaseProcess = nullptr;
      dbclose(base);
    }
  }
  try {
    RestoreHandlers();
    dbfreelogin(FLoginRec);
  } catch (...) {
  }
  // Every query gave its connection back above, so no former base
  // connection is held any more.
  FFormerBases.clear();
  FLoginRec = nullptr;
  FConnected = false;
}

PDBPROCESS TSQLServer::GetConnection(TlqServerQuery*, bool Shared) {
  return Shared ? GetBaseProcess() : InternalOpenConnection();
}

PDBPROCESS TSQLServer::GetBaseProcess() {
  if (FBaseProcess != nullptr && dbdead(FBaseProcess)) {
    // A query still holding the dead connection forgets it itself; one that
    // nobody holds would never be released, so it is closed here.
    PDBPROCESS dead = FBaseProcess;
    FBaseProcess = nullptr;
    ForgetBase(dead);
  }
  if (FBaseProcess == nullptr) FBaseProcess = InternalOpenConnection();
  return FBaseProcess;
}

bool TSQLServer::HeldByQuery(PDBPROCESS connection) const {
  for (TlqServerQuery* query : FQueries) {
    if (query->QueryConnection() == connection) return true;
  }
  return false;
}

PDBPROCESS TSQLServer::InternalOpenConnection() {
  if (!FConnected) Open();
  PDBPROCESS connection = OpenProcess();
  if (connection == nullptr) CheckDBResult(0);
  try {
    SelectDatabase(connection);
    dbsettime(FServerTimeout);
    if (FOEMConvert) dbsetopt(connection, kDBANSItoOEM, "ON");
    dbsetopt(connection, kDBTEXTSIZE, kLargestText);
    dbsetopt(connection, kDBTEXTLIMIT, kLargestText);
    CheckDBResult(dbsqlexec(connection));
    if (dbresults(connection) == SUCCEED) {
      // Drain the text-size result. Anything but a row ends the loop, so a
      // connection that died meanwhile (FAIL) cannot keep it spinning.
      int status;
      do {
        status = dbnextrow(connection);
      } while (status == REG_ROW || status > 0);
    }
  } catch (...) {
    // Nobody else holds the connection yet: close it rather than lose it.
    dbclose(connection);
    throw;
  }
  return connection;
}

void TSQLServer::DropConnection(TlqServerQuery*, PDBPROCESS& Connection) {
  if (Connection == nullptr) return;  // nothing to give back
  if (FKeepConnections) {
    dbcancel(Connection);
    return;
  }
  CloseConnection(Connection);
}

void TSQLServer::CloseConnection(PDBPROCESS& Connection) {
  PDBPROCESS connection = Connection;
  // Compared before clearing: Connection may be FBaseProcess itself.
  const bool base = connection == FBaseProcess;
  Connection = nullptr;
  if (connection == nullptr || base) return;
  // A former base connection (found dead, or given back after a transaction)
  // may still be shared by other queries; the last one to let go closes it.
  // Closing it earlier would leave the others with a freed handle.
  if (HeldByQuery(connection)) return;
  std::erase(FFormerBases, connection);
  dbclose(connection);
}

void TSQLServer::ForgetBase(PDBPROCESS connection) {
  if (connection == nullptr) return;
  if (HeldByQuery(connection)) {
    FFormerBases.push_back(connection);
  } else {
    dbclose(connection);
  }
}

bool TSQLServer::IsFormerBase(PDBPROCESS Connection) const {
  return Connection != nullptr &&
         std::find(FFormerBases.begin(), FFormerBases.end(), Connection) != FFormerBases.end();
}

void TSQLServer::AddQuery(TlqServerQuery* Query) {
  if (Query != nullptr) FQueries.push_back(Query);
}

void TSQLServer::RemoveQuery(TlqServerQuery* Query) {
  if (Query == nullptr) return;
  auto it = std::find(FQueries.begin(), FQueries.end(), Query);
  if (it != FQueries.end()) FQueries.erase(it);
}

void TSQLServer::DBTrace(bool Value) {
  SQLTraceActive(Value);
}

void TSQLServer::RegisterTraceCallback(TTraceRoutine Routine) {
  FOldTraceCallback = dbRegisterTraceCallback(Routine);
}

}  // namespace tessel

// Login records, library start and end, opening and closing connections.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "netlib_conf.h"
#include "server_name.h"
#include "state.h"

namespace tessel::dblib {
namespace {

// Microsoft's DBVER60 asks for the newest protocol the client knows. TDS 7.4 unless the
// TDSVER environment variable names another, which FreeTDS then applies itself (a version
// stored in the login would override it).
RETCODE SetModernVersion(LOGINREC* login) {
  const char* env = std::getenv("TDSVER");
  return dbsetlversion(login, env != nullptr && *env != '\0' ? DBVERSION_UNKNOWN : DBVERSION_74);
}

RETCODE UnknownItem(int item) {
  ReportError(nullptr, ms::kExProgram, ms::kErrUnknownItem,
              "Attempt to set unknown LOGINREC field " + std::to_string(item));
  return FAIL;
}

}  // namespace
}  // namespace tessel::dblib

using namespace tessel::dblib;

NTWDBLIB_API const char* dbinit(void) {
  RETCODE rc = ftds_dbinit();
  InstallTrampolines();
  if (rc == FAIL) return nullptr;
  ConfiguredNetLibrary();  // read now so that a broken file shows up early in a trace
  static const std::string version = std::string("DB-Library version 8.00 (") + dbversion() + ")";
  return version.c_str();
}

NTWDBLIB_API void dbexit(void) {
  ForgetAllConns();
  ftds_dbexit();
}

NTWDBLIB_API void dbwinexit(void) {}

NTWDBLIB_API LOGINREC* dblogin(void) {
  InstallTrampolines();
  LOGINREC* login = ftds_dblogin();
  if (login != nullptr) {
    SetModernVersion(login);
    // Text crosses this library in UTF-8 whatever the process locale: FreeTDS would
    // otherwise take the locale's character set, so one program would send and read
    // other bytes for the same value depending on LANG, and characters outside that
    // set would turn into '?'.
    ftds_dbsetlname(login, "UTF-8", DBSETCHARSET);
  }
  return login;
}

NTWDBLIB_API void dbfreelogin(LOGINREC* login) {
  if (login != nullptr) dbloginfree(login);
}

NTWDBLIB_API RETCODE dbsetlname(LOGINREC* login, const char* value, int item) {
  const char* text = value != nullptr ? value : "";
  switch (item) {
    case ms::kSetHost:
      return ftds_dbsetlname(login, text, DBSETHOST);
    case ms::kSetUser:
      return ftds_dbsetlname(login, text, DBSETUSER);
    case ms::kSetPwd:
      return ftds_dbsetlname(login, text, DBSETPWD);
    case ms::kSetApp:
      return ftds_dbsetlname(login, text, DBSETAPP);
    case ms::kSetLang:
      return ftds_dbsetlname(login, text, DBSETNATLANG);
    case ms::kSetSecure:
      // An integrated login: FreeTDS's network (Kerberos) authentication, without user
      // name and password.
      return dbsetlbool(login, TRUE, DBSETNETWORKAUTH);
    case ms::kVer42:
      return dbsetlversion(login, DBVERSION_42);
    case ms::kVer60:
      return SetModernVersion(login);
    case ms::kSetLoginTime:
      // The seconds travel in the pointer value. FreeTDS keeps one login time-out for the
      // whole process, so the last login record set wins.
      if (login == nullptr) {
        ReportError(nullptr, ms::kExProgram, ms::kErrNullLogin,
                    "Attempt to set fields in a null LOGINREC");
        return FAIL;
      }
      return ftds_dbsetlogintime(static_cast<int>(reinterpret_cast<intptr_t>(value)));
    default:
      return UnknownItem(item);
  }
}

NTWDBLIB_API RETCODE bcp_setl(LOGINREC* login, BOOL enable) {
  return dbsetlbool(login, enable, DBSETBCP);
}

NTWDBLIB_API RETCODE dbsetlpacket(LOGINREC* login, unsigned short packet_size) {
  return dbsetllong(login, packet_size, DBSETPACKET);
}

NTWDBLIB_API DBPROCESS* dbopen(LOGINREC* login, const char* servername) {
  InstallTrampolines();
  // Only TCP/IP exists here; whichever library the setting file names, TCP/IP is used.
  ConfiguredNetLibrary();
  std::string server;
  try {
    server = FreeTdsServerName(servername);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  BeginLogin();
  DBPROCESS* dbproc = tdsdbopen(login, server.c_str(), 1);
  EndLogin();
  if (dbproc != nullptr && !RegisterConn(dbproc)) {
    ftds_dbclose(dbproc);
    return nullptr;
  }
  return dbproc;
}

NTWDBLIB_API void dbclose(DBPROCESS* dbproc) {
  // FreeTDS's dbclose leaves a call begun with dbrpcinit but never sent allocated.
  if (dbproc != nullptr) ftds_dbrpcinit(dbproc, "", DBRPCRESET);
  ForgetConn(dbproc);
  ftds_dbclose(dbproc);
}

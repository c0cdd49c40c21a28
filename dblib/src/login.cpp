// Login records, library start and end, opening and closing connections.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "ftds_conf.h"
#include "netlib_conf.h"
#include "server_name.h"
#include "state.h"
#include "tls_probe.h"

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

// FreeTDS reads FREETDSCONF at each login. A login with an encryption setting points it
// at a private file for its duration, holding this exclusively; other logins hold it
// shared, so none reads the variable while it changes.
std::shared_mutex conf_mutex;

// A login to `server` with its encryption setting applied; nullptr after reporting why
// not (the setting cannot be met, or the server's certificate fails its checks).
DBPROCESS* OpenEncrypted(LOGINREC* login, const std::string& server, const char* given,
                         const EncryptionSetting& setting) {
  auto fail = [&](const std::string& why) -> DBPROCESS* {
    ReportError(nullptr, ms::kExComm, ms::kErrConnect,
                "Encryption with server '" + std::string(given) + "' failed: " + why + ".");
    return nullptr;
  };
  const std::string& mode = setting.mode;
  if (!mode.empty() && mode != "off" && mode != "request" && mode != "require" &&
      mode != "strict") {
    return fail("the setting Encrypt=" + mode + " is not one of off, request, require, strict");
  }
  if (mode == "strict") {
    return fail("strict encryption (TDS 8.0) is not available in this client library");
  }
  std::string conf;
  {
    std::shared_lock reading(conf_mutex);
    conf = EffectiveFreeTdsConf();
    if (mode != "off" && (!setting.caFile.empty() || !setting.hostName.empty())) {
      ServerAddress a = ResolveServerName(conf, server);
      const char* envPort = std::getenv("TDSPORT");
      std::string port = !a.port.empty() ? a.port : envPort != nullptr ? envPort : "1433";
      std::string why = ProbeCertificate(a.host, port, setting);
      if (!why.empty()) return fail(why);
    }
  }
  std::unique_lock lock(conf_mutex);
  char path[] = "/tmp/tessel-freetds-XXXXXX";
  int fd = ::mkstemp(path);
  if (fd < 0) return fail("no private FreeTDS configuration could be written");
  const std::string text = ConfWithEncryption(conf, server, setting);
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  const char* before = std::getenv("FREETDSCONF");
  const std::string saved = before != nullptr ? before : "";
  DBPROCESS* dbproc = nullptr;
  if (written) {
    ::setenv("FREETDSCONF", path, 1);
    dbproc = tdsdbopen(login, kEncryptedSection, 1);
    if (before != nullptr) {
      ::setenv("FREETDSCONF", saved.c_str(), 1);
    } else {
      ::unsetenv("FREETDSCONF");
    }
  }
  ::unlink(path);
  return written ? dbproc : fail("no private FreeTDS configuration could be written");
}

}  // namespace
}  // namespace tessel::dblib

using namespace tessel::dblib;

// This library's own, which notes the seconds for the time-out's message (commands.cpp).
NTWDBLIB_API RETCODE dbsetlogintime(int seconds);

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
      return dbsetlogintime(static_cast<int>(reinterpret_cast<intptr_t>(value)));
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
  std::optional<EncryptionSetting> encryption;
  try {
    encryption = ConfiguredEncryption(servername != nullptr ? servername : "");
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  BeginLogin();
  DBPROCESS* dbproc = nullptr;
  if (encryption) {
    try {
      dbproc = OpenEncrypted(login, server, servername != nullptr ? servername : "", *encryption);
    } catch (const std::exception&) {
      dbproc = nullptr;
    }
  } else {
    std::shared_lock lock(conf_mutex);
    dbproc = tdsdbopen(login, server.c_str(), 1);
  }
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

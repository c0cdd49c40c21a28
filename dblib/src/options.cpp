// Options: server settings become SET statements sent ahead of the next command batch;
// client settings go to FreeTDS under its own numbers.
#include "options.h"

#include <strings.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "state.h"

namespace tessel::dblib {
namespace {

bool ParseCount(const char* param, long& value) {
  if (param == nullptr || *param == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(param, &end, 10);
  while (end != nullptr && *end == ' ') ++end;
  return errno == 0 && end != nullptr && *end == '\0' && value >= 0 && value <= INT_MAX;
}

std::string Quoted(const char* param) {
  return param == nullptr ? "(null)" : "'" + std::string(param) + "'";
}

}  // namespace

std::string OptionStatement(int ms_option, const char* param, std::string& error) {
  error.clear();
  long count = 0;
  switch (ms_option) {
    case ms::kRowCount:
    case ms::kTextSize:
      if (!ParseCount(param, count)) {
        error = "Invalid value " + Quoted(param) + " for option " + std::to_string(ms_option) +
                ": a count from 0 to 2147483647 is required";
        return "";
      }
      return std::string(ms_option == ms::kRowCount ? "set rowcount " : "set textsize ") +
             std::to_string(count) + "\n";
    case ms::kArithAbort:
      return "set arithabort on\n";
    case ms::kArithIgnore:
      return "set arithignore on\n";
    case ms::kNoCount:
      return "set nocount on\n";
    case ms::kNoExec:
      return "set noexec on\n";
    case ms::kParseOnly:
      return "set parseonly on\n";
    case ms::kQuotedIdent:
      return "set quoted_identifier on\n";
    case ms::kStat:
      if (param != nullptr && (strcasecmp(param, "io") == 0 || strcasecmp(param, "time") == 0)) {
        return std::string("set statistics ") + (strcasecmp(param, "io") == 0 ? "io" : "time") +
               " on\n";
      }
      error = "Invalid value " + Quoted(param) + " for DBSTAT: IO or TIME is required";
      return "";
    default:
      return "";
  }
}

}  // namespace tessel::dblib

using namespace tessel::dblib;

NTWDBLIB_API RETCODE dbsetopt(DBPROCESS* dbproc, int option, const char* param) {
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr) {
    ReportError(dbproc, ms::kExProgram, ms::kErrNullDbproc,
                "dbsetopt: the DBPROCESS is not an open connection");
    return FAIL;
  }
  try {
    std::string error;
    std::string statement = OptionStatement(option, param, error);
    if (!statement.empty()) {
      conn->pending_options += statement;
      return SUCCEED;
    }
    if (!error.empty()) {
      ReportError(dbproc, ms::kExProgram, ms::kErrBadOption, error);
      return FAIL;
    }
  } catch (const std::bad_alloc&) {
    return FAIL;
  }
  switch (option) {
    case ms::kBuffer:
      return ftds_dbsetopt(dbproc, DBBUFFER, param != nullptr ? param : "100", 0);
    case ms::kNoAutoFree:
      return ftds_dbsetopt(dbproc, DBNOAUTOFREE, "", 0);
    case ms::kSetTime:
      return ftds_dbsetopt(dbproc, DBSETTIME, param != nullptr ? param : "", 0);
    case ms::kTextLimit:
      // Text and image values arrive whole (their size is bounded by DBTEXTSIZE); a
      // limit is accepted but not applied on the client.
    case ms::kAnsiToOem:
    case ms::kOemToAnsi:
      // Text is exchanged in the client character set of freetds.conf; there are no OEM
      // code pages to convert between on this platform.
    case ms::kClientCursors:
      // No cursor functions are offered; nothing to switch.
      return SUCCEED;
    default:
      ReportError(dbproc, ms::kExProgram, ms::kErrBadOption,
                  "Option " + std::to_string(option) + " is not supported by this DB-Library");
      return FAIL;
  }
}

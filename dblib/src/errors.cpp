#include "errors.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "ftds.h"

namespace tessel::dblib {
namespace {

struct ErrorPair {
  int ftds;
  int ms;
};

// FreeTDS name -> Microsoft number. Most pairs share the name after the prefix (SYBEPWD
// and SQLEPWD); the others go to Microsoft's error for the same condition.
constexpr ErrorPair kErrors[] = {
    {SYBEMEM, 10000},    // SQLEMEM
    {SYBENULL, 10001},   // SQLENULL
    {SYBEPWD, 10003},    // SQLEPWD
    {SYBECONN, 10004},   // SQLECONN
    {SYBEFCON, 10004},   // connection failed: SQLECONN
    {SYBESOCK, 10004},   // no socket: SQLECONN
    {SYBEUHST, 10004},   // unknown host: SQLECONN
    {SYBEINTF, 10004},   // server name not found: SQLECONN
    {SYBEDDNE, 10005},   // SQLEDDNE
    {SYBESMSG, 10007},   // SQLESMSG
    {SYBEBTOK, 10008},   // SQLEBTOK
    {SYBESYNC, 10008},   // stream out of step: SQLEBTOK
    {SYBEREAD, 10010},   // SQLEREAD
    {SYBECNOR, 10011},   // SQLECNOR
    {SYBETSIT, 10012},   // SQLETSIT
    {SYBEAUTN, 10014},   // SQLEAUTN
    {SYBECOFL, 10015},   // SQLECOFL
    {SYBECUFL, 10015},   // underflow: SQLECOFL
    {SYBECLPR, 10015},   // loss of precision: SQLECOFL
    {SYBERDCN, 10016},   // SQLERDCN
    {SYBEICN, 10017},    // SQLEICN
    {SYBECLOS, 10018},   // SQLECLOS
    {SYBEDNTI, 10020},   // SQLEDNTI
    {SYBETMTD, 10021},   // SQLETMTD
    {SYBEASEC, 10022},   // SQLEASEC
    {SYBENTLL, 10023},   // SQLENTLL
    {SYBETIME, 10024},   // SQLETIME
    {SYBEWRIT, 10025},   // SQLEWRIT
    {SYBEOOB, 10027},    // SQLEOOB
    {SYBEITIM, 10028},   // SQLEITIM
    {SYBEDBPS, 10029},   // SQLEDBPS
    {SYBEUNOP, 10030},   // unknown option: SQLEIOPT
    {SYBEOPTNO, 10030},  // option not allowed: SQLEIOPT
    {SYBEASNL, 10031},   // SQLEASNL
    {SYBEASUL, 10032},   // SQLEASUL
    {SYBENPRM, 10033},   // SQLENPRM
    {SYBENSIP, 10035},   // SQLENSIP
    {SYBESEOF, 10037},   // SQLESEOF
    {SYBERPND, 10038},   // SQLERPND
    {SYBECSYN, 10039},   // SQLECSYN
    {SYBEBTYP, 10041},   // SQLEBTYP
    {SYBEABNC, 10042},   // SQLEABNC
    {SYBEABMT, 10043},   // SQLEABMT
    {SYBEABNP, 10044},   // SQLEABNP
    {SYBEBNCR, 10045},   // SQLEBNCR
    {SYBEAAMT, 10046},   // SQLEAAMT
    {SYBENXID, 10047},   // SQLENXID
    {SYBEIFNB, 10048},   // SQLEIFNB
    {SYBEKBCO, 10049},   // SQLEKBCO
    {SYBEBBCI, 10050},   // SQLEBBCI
    {SYBEKBCI, 10051},   // SQLEKBCI
    {SYBEBCWE, 10052},   // SQLEBCWE
    {SYBEBCNN, 10053},   // SQLEBCNN
    {SYBEBCOR, 10054},   // SQLEBCOR
    {SYBEBCPI, 10055},   // SQLEBCPI
    {SYBEBCPN, 10056},   // SQLEBCPN
    {SYBEBCPB, 10057},   // SQLEBCPB
    {SYBEVDPT, 10058},   // SQLEVDPT
    {SYBEBIVI, 10059},   // SQLEBIVI
    {SYBEBCBC, 10060},   // SQLEBCBC
    {SYBEBCFO, 10061},   // SQLEBCFO
    {SYBEBCVH, 10062},   // SQLEBCVH
    {SYBEBCUO, 10063},   // SQLEBCUO
    {SYBEBUOE, 10064},   // SQLEBUOE
    {SYBEBWEF, 10065},   // SQLEBWEF
    {SYBEBTMT, 10066},   // SQLEBTMT
    {SYBEBEOF, 10067},   // SQLEBEOF
    {SYBEBCSI, 10068},   // SQLEBCSI
    {SYBEBDIO, 10071},   // SQLEBDIO
    {SYBEBCNT, 10072},   // SQLEBCNT
};

struct ErrorText {
  int ms;
  const char* text;
};

// Microsoft's texts, as its error handler receives them.
constexpr ErrorText kTexts[] = {
    {10000, "Unable to allocate sufficient memory."},
    {10001, "NULL DBPROCESS pointer encountered."},
    {10003, "Login incorrect."},
    {10004, "Unable to connect: SQL Server is unavailable or does not exist."},
    {10005, "DBPROCESS is dead or not enabled."},
    {10007, "General SQL Server error: Check messages from the SQL Server."},
    {10008, "Bad token from SQL Server: Datastream processing out of sync."},
    {10010, "Read from SQL Server failed."},
    {10011, "Column number out of range."},
    {10012, "Attempt to call dbtsput() with an invalid timestamp."},
    {10014, "Attempt to update the timestamp of a table which has no timestamp column."},
    {10015, "Data conversion resulted in overflow."},
    {10016, "Requested data-conversion does not exist."},
    {10017, "Invalid computeid or compute column number."},
    {10018, "Error in closing network connection."},
    {10020,
     "Attempt to use dbtxtsput() to put a new text timestamp into a column whose datatype is "
     "neither SQLTEXT nor SQLIMAGE."},
    {10021, "Attempt to send too much TEXT data via the dbmoretext() call."},
    {10022, "Attempt to send an empty command buffer to the SQL Server."},
    {10023, "Name too long for LOGINREC field."},
    {10024, "SQL Server connection timed out."},
    {10025, "Write to SQL Server failed."},
    {10027, "Error in sending out-of-band data to SQL Server."},
    {10028, "Illegal timeout value specified."},
    {10029, "Maximum number of DBPROCESS structures already allocated."},
    {10030, "Attempt to use an undefined option."},
    {10031, "Attempt to set fields in a null loginrec."},
    {10032, "Attempt to set unknown loginrec field."},
    {10033, "NULL parameter not allowed for this dboption."},
    {10035, "Negative starting index passed to dbstrcpy()."},
    {10037, "Unexpected EOF from SQL Server."},
    {10038, "Attempt to initiate a new SQL Server operation with results pending."},
    {10039, "Attempt to convert data stopped by syntax error in source field."},
    {10041, "Unknown bind type passed to DB-Library function."},
};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

const char* MicrosoftErrorText(int ms_error) {
  auto found = std::find_if(std::begin(kTexts), std::end(kTexts),
                            [ms_error](const ErrorText& t) { return t.ms == ms_error; });
  return found == std::end(kTexts) ? nullptr : found->text;
}

std::string ErrorTextFor(int ms_error, const char* ftds_text) {
  if (const char* text = MicrosoftErrorText(ms_error)) return text;
  std::string text = ftds_text != nullptr ? ftds_text : "";
  ReplaceAll(text, "Adaptive Server", "SQL Server");
  // FreeTDS appends the server's name or address: " (127.0.0.1)".
  if (!text.empty() && text.back() == ')') {
    const std::size_t open = text.rfind(" (");
    if (open != std::string::npos) text.erase(open);
  }
  return text;
}

bool IsFailedLogin(int ftds_error) {
  return ftds_error == SYBEFCON;
}

int MicrosoftErrorNumber(int ftds_error) {
  auto found = std::find_if(std::begin(kErrors), std::end(kErrors),
                            [ftds_error](const ErrorPair& p) { return p.ftds == ftds_error; });
  return found == std::end(kErrors) ? ftds_error : found->ms;
}

}  // namespace tessel::dblib

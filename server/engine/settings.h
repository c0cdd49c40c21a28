#pragma once

// The SET options of one session and the values they start with for a
// DB-Library client (QUOTED_IDENTIFIER and the ANSI options off; a login
// flagged as ODBC turns them on).

#include <cstdint>
#include <string>

#include "datetime.h"

namespace tessel::sqld::engine {

struct Settings {
  bool nocount = false;
  bool quotedIdentifier = false;
  bool ansiNulls = false;
  bool ansiWarnings = false;
  // Recorded on each column created; see ColumnInfo::ansiPadded.
  bool ansiPadding = false;
  bool ansiNullDefault = false;     // ANSI_NULL_DFLT_ON: new columns allow NULL by default
  bool ansiNullDefaultOff = false;  // ANSI_NULL_DFLT_OFF, shown in @@OPTIONS
  bool numericRoundAbort = false;
  bool arithAbort = false;
  bool arithIgnore = false;
  bool concatNullYieldsNull = true;
  bool cursorCloseOnCommit = false;
  bool implicitTransactions = false;
  bool xactAbort = false;
  bool fmtOnly = false;
  bool noExec = false;
  bool parseOnly = false;
  std::int64_t rowCount = 0;  // SET ROWCOUNT; 0 = no limit
  std::int64_t textSize = 2147483647;
  std::int32_t lockTimeoutMs = -1;  // SET LOCK_TIMEOUT; -1 waits without limit
  int dateFirst = 7;
  // 1 read uncommitted, 2 read committed, 3 repeatable read, 4 serializable,
  // 5 snapshot. Reported only: SQLite transactions are serializable.
  int isolationLevel = 2;
  DateOrder dateOrder = DateOrder::MDY;
  std::string language = "us_english";
};

}  // namespace tessel::sqld::engine

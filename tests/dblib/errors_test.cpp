// FreeTDS's error numbers and handler answers, in Microsoft's terms.
#include <gtest/gtest.h>

#include "errors.h"
#include "state.h"

namespace tessel::dblib {
namespace {

TEST(DbErrors, FreeTdsNumbersBecomeMicrosofts) {
  EXPECT_EQ(MicrosoftErrorNumber(SYBESMSG), 10007);  // SQLESMSG, the package's 10007
  EXPECT_EQ(MicrosoftErrorNumber(SYBEPWD), 10003);
  EXPECT_EQ(MicrosoftErrorNumber(SYBETIME), 10024);
  EXPECT_EQ(MicrosoftErrorNumber(SYBEFCON), 10004);
  EXPECT_EQ(MicrosoftErrorNumber(SYBECONN), 10004);
  EXPECT_EQ(MicrosoftErrorNumber(SYBEDDNE), 10005);
  EXPECT_EQ(MicrosoftErrorNumber(SYBEREAD), 10010);
  EXPECT_EQ(MicrosoftErrorNumber(SYBEWRIT), 10025);
  EXPECT_EQ(MicrosoftErrorNumber(SYBESEOF), 10037);
  EXPECT_EQ(MicrosoftErrorNumber(SYBERPND), 10038);
  EXPECT_EQ(MicrosoftErrorNumber(SYBECNOR), 10011);
}

TEST(DbErrors, NumbersWithoutCounterpartPassUnchanged) {
  EXPECT_EQ(MicrosoftErrorNumber(SYBEICONVI), SYBEICONVI);
  EXPECT_EQ(MicrosoftErrorNumber(12345), 12345);
}

TEST(DbErrors, NoMappedNumberLeavesMicrosoftsRange) {
  for (int n = 20000; n < 20300; ++n) {
    int ms = MicrosoftErrorNumber(n);
    EXPECT_TRUE(ms == n || (ms >= 10000 && ms < 10200)) << n << " -> " << ms;
  }
}

TEST(DbErrorTexts, MicrosoftsTextsReplaceFreeTdss) {
  EXPECT_EQ(ErrorTextFor(10003, "Adaptive Server connection failed (127.0.0.1)"),
            "Login incorrect.");
  EXPECT_EQ(ErrorTextFor(MicrosoftErrorNumber(SYBERPND), "anything"),
            "Attempt to initiate a new SQL Server operation with results pending.");
  // Without a text of Microsoft's, FreeTDS's names the server as Microsoft's
  // library does and loses the address it appends.
  EXPECT_EQ(ErrorTextFor(SYBEICONVI, "Some Adaptive Server thing (10.0.0.1)"),
            "Some SQL Server thing");
  EXPECT_EQ(ErrorTextFor(SYBEICONVI, nullptr), "");
}

TEST(DbErrorTexts, EveryMappedNumberHasMicrosoftsText) {
  for (int n = 20000; n < 20300; ++n) {
    const int ms = MicrosoftErrorNumber(n);
    if (ms == n || ms >= 10042) continue;  // unmapped, or bulk copy
    EXPECT_NE(MicrosoftErrorText(ms), nullptr) << n << " -> " << ms;
  }
}

TEST(DbErrorHandlerReturn, NeverAsksFreeTdsToExit) {
  for (int rc : {ms::kIntExit, ms::kIntContinue, ms::kIntCancel, 3, -1, 99}) {
    EXPECT_EQ(FreeTdsHandlerReturn(SYBEREAD, rc), INT_CANCEL) << rc;
    EXPECT_EQ(FreeTdsHandlerReturn(SYBESMSG, rc), INT_CANCEL) << rc;
    EXPECT_NE(FreeTdsHandlerReturn(SYBETIME, rc), INT_EXIT) << rc;
  }
}

TEST(DbErrorHandlerReturn, TimeOutsContinueOrCancelTheCommandOnly) {
  EXPECT_EQ(FreeTdsHandlerReturn(SYBETIME, ms::kIntContinue), INT_CONTINUE);
  // INT_CANCEL on a time-out fails the call but keeps the connection (FreeTDS's
  // INT_TIMEOUT), as Microsoft's library cancels the command.
  EXPECT_EQ(FreeTdsHandlerReturn(SYBETIME, ms::kIntCancel), INT_TIMEOUT);
  EXPECT_EQ(FreeTdsHandlerReturn(SYBETIME, ms::kIntExit), INT_TIMEOUT);
}

}  // namespace
}  // namespace tessel::dblib

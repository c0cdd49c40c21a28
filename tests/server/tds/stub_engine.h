#pragma once

// A stand-in engine for the listener's tests, so they do not depend on the
// SQL engine. It understands a handful of statements, one per line or
// separated by ';':
//   SET ...                       DONE, nothing else
//   DECLARE ...                   nothing at all
//   SELECT <literal>[ AS name], ...  integers, decimals, 'text', N'text', NULL
//   SELECT @@SPID | @@VERSION | @@OPTIONS (non-zero after an ODBC login)
//   THROW_INTERNAL                throws, as an engine failure would
//   SELECT * FROM people | types | medium | big   (a small table, one row of
//                                 every type, 2000 rows, 100000 rows checked for cancel)
//   WAITFOR DELAY 'hh:mm:ss[.mmm]'   waits, checking the cancel flag
//   USE db, BEGIN TRAN, COMMIT, ROLLBACK, PRINT 'text', RAISERROR; a
//                                 database named cyrillic... has Cyrillic_General_CI_AS
//                                 as its collation
//   anything else                 error 102
// RPC: sp_executesql with "SELECT @a, @b" statements, and sp_echo (or #echo),
// which returns its inputs as a row, copies each input to its output
// parameter and returns 7; sp_plain runs "select 1" and ends with a plain DONE.
// Thread-safe like the real engine.

#include <memory>

#include "sqld/engine.h"

namespace tessel::sqld::test {

std::unique_ptr<Engine> createStubEngine(const EngineOptions& options);

}  // namespace tessel::sqld::test

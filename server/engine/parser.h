#pragma once

// Parses a T-SQL batch into a syntax tree. Any syntax error throws SqlError
// (102, 156 ...) before anything of the batch runs.

#include <string_view>

#include "ast.h"

namespace tessel::sqld::engine {

Batch parseBatch(std::string_view sql, bool quotedIdentifier);
// The text of sp_prepare: as a batch, but a procedure is called with EXEC.
Batch parsePrepared(std::string_view sql, bool quotedIdentifier);

// Parses a type name as DECLARE and CONVERT accept it ("varchar(10)").
TypeInfo parseTypeName(std::string_view text);

}  // namespace tessel::sqld::engine

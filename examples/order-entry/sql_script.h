#pragma once

// The sample database's script: SQL batches separated by lines holding only
// GO, as the command-line tools of SQL Server take them.

#include <string>
#include <string_view>
#include <vector>

#include "runtime/SQLServer.h"

namespace order_entry {

// The batches of text, blank ones left out; GO is matched in any case.
std::vector<std::string> ScriptBatches(std::string_view text);

// Runs every batch of the file on server's base connection, in order;
// raises the first error (EInOutError for a file that cannot be read).
void RunScriptFile(tessel::TSQLServer& server, const std::string& file_name);

}  // namespace order_entry

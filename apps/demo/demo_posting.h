#pragma once

// The demo's writing step: inserts, edits and deletes a row of the sample
// table through a query's generated statements and reads each change back
// with a second query. Leaves the table as it found it.

namespace tessel {
class TSQLServer;
}

void DemoPosting(tessel::TSQLServer& server);

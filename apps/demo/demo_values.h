#pragma once

// The demo's exact-values step: posts a Unicode name, a decimal(38,10), a
// datetime with milliseconds and an image holding every byte value through a
// query's generated INSERT, and shows them as a second query reads them back.

namespace tessel {
class TSQLServer;
}

void DemoExactValues(tessel::TSQLServer& server);

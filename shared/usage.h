// usage.h: the usage texts of the three programs, written with status 2.
// All three begin "Usage: evtable": the merger and the filter kept the
// renderer's first line, and scripts may match on it.
#pragma once

extern const char EVTABLE_USAGE[];
extern const char EVJOIN_USAGE[];
extern const char EVSIFT_USAGE[];

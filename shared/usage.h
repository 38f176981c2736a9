// usage.h: the usage texts of the three programs, written with status 2.
#pragma once

extern const char EVTABLE_USAGE[];
extern const char EVJOIN_USAGE[];
extern const char EVSIFT_USAGE[];

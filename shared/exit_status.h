// exit_status.h: the exit statuses of the three programs, named in one place.
// The numbers are per program: 1 and 5 mean different failures in evtable
// and in the other two.
#pragma once

enum exit_status {
    STATUS_DONE = 0,
    STATUS_USAGE = 2,
    STATUS_PARSE = 4,

    STATUS_EVTABLE_OPEN = 1,
    STATUS_EVTABLE_NO_MEMORY = 1,
    STATUS_EVTABLE_DATE = 3,
    STATUS_EVTABLE_ZONE = 3,
    STATUS_EVTABLE_REGCOMP = 5,
    STATUS_EVTABLE_WRITE = 6,

    STATUS_FILE = 5,             // evjoin and evsift: a file cannot be opened, closed or written
    STATUS_EVJOIN_TABLE_ALLOC = 7,
    STATUS_NO_MEMORY = 7,        // evjoin and evsift: storage cannot be had
};

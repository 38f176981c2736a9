// bench_scan: how many VEVENTs of a calendar evtable's scan keeps for a
// period, for the benchmark's table.
//
//   bench_scan START DURATION FILE
#include <cstdio>
#include <cstdlib>

#include <libical/ical.h>

#include "renderer/period_prescan.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: bench_scan START DURATION FILE\n");
        return 2;
    }
    FILE *input = fopen(argv[3], "r");
    if (input == nullptr) {
        perror(argv[3]);
        return 1;
    }
    icaltimetype start = icaltime_from_string(argv[1]);
    icaltimetype end = icaltime_add(start, icaldurationtype_from_string(argv[2]));
    prescan_counts counts;
    FILE *kept = open_period_input(input, start, end, &counts);
    if (kept == nullptr)
        return 1;
    if (counts.whole)
        printf("whole text\n");
    else
        printf("kept %ld of %ld events\n", counts.kept, counts.events);
    return 0;
}

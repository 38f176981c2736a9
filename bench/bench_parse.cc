// bench_parse: the parse floor. Parses each file and frees its tree.
#include "bench/floor_input.h"

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: bench_parse file...\n", stderr);
        return 2;
    }
    icalerror_set_errors_are_fatal(0);
    for (int i = 1; i < argc; i++) {
        icalcomponent *root = parse_floor_file(argv[i]);
        icalcomponent_free(root);
    }
    return 0;
}

// usage.h: the usage texts of the three programs, written with status 2, and
// the answers to --help and --version.
#pragma once

extern const char EVTABLE_USAGE[];
extern const char EVJOIN_USAGE[];
extern const char EVSIFT_USAGE[];

/// getopt_long's values for --help and --version: no short option has them.
constexpr int OPTION_HELP = 0x100;
constexpr int OPTION_VERSION = 0x101;

/// getopt_long's values for evtable's and evsift's --match and --not-match,
/// apart from the codes of either program's own long options.
constexpr int OPTION_MATCH = 0x200;
constexpr int OPTION_NOT_MATCH = 0x201;

/// --help: the usage text on standard output, then status 0. When standard
/// output cannot be written: "Write error: reason" and write_failure_status.
[[noreturn]] void show_help(const char *usage, int write_failure_status);

/// --version: the program's name and the project's version ("evtable 0.2.0")
/// on standard output, then status 0; a failed write as for show_help.
[[noreturn]] void show_version(const char *program, int write_failure_status);

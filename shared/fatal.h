// fatal.h: the one way a run fails: a message on standard error and a fixed exit status.
#pragma once

#include "shared/exit_status.h"

/// Writes the formatted message to standard error and ends the process with
/// status through exit(), so buffered standard output still comes out.
/// A temporary output file named with set_pending_output is removed first.
[[noreturn]] void report_and_exit(int status, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

/// Names the running program for the messages that carry its name, and
/// makes storage that cannot be had end the run: status and "NAME: out of
/// memory", the output file as it was. The first step of every program.
void set_program_name(const char *name, int out_of_memory_status);

/// The name given to set_program_name ("" before).
const char *program_name();

/// Ends the run as a failed allocation does (see set_program_name).
[[noreturn]] void fail_out_of_memory();

/// Names the temporary file that a failure must remove (null: none): name,
/// a file name of at most NAME_MAX bytes, in the open folder. Both are kept;
/// the file is also removed when a signal ends the process, for every signal
/// whose action was the default when the first file was named.
void set_pending_output(int folder, const char *name);

/// For the fuzz targets, which run the programs' steps on many inputs in one
/// process: report_and_exit calls hook with the status instead of ending the
/// process (null: none, the default). The hook must not return.
void set_fatal_hook(void (*hook)(int status));

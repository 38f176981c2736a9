// output_file.h: safe replacement of an output file. The new content goes to
// a temporary file in the output's folder, which is renamed over the output
// only when complete and on disk, so a failed run leaves the output as it was.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>

struct output_file {
    std::string path;        // as the user gave it, for messages
    int status;              // the exit status of every failure
    int folder;              // the folder of the file replaced, held open
    std::string name;        // that file's name in the folder: a symlink's target
    bool exists;             // whether the file existed when last looked at
    struct stat existing;    // its mode and owner then
    std::string temp_name;   // the temporary file's name in the folder
    int fd;                  // the temporary file, -1 until it is created
};

/// Follows path to the file that will be replaced (through symlinks, also
/// to the missing target of a dangling one) and checks what can be checked
/// before anything is written: the folder exists and may be written, and the
/// file is missing or regular. Creates nothing. Any failure: status and
/// "path: reason", "path: Not a regular file" for a FIFO, socket or device.
/// In a sticky, world-writable folder a link is followed only when it belongs
/// to the running user or to the folder's owner; another's link gives
/// "path: Permission denied".
output_file check_output_file(const char *path, int status);

/// Checks the file again and creates the temporary file beside it, mode
/// 0600, removed by a failure or a signal that ends the process.
void create_temporary_file(output_file *output);

/// Writes all of text to the temporary file, in as many writes as it takes.
void write_output_text(output_file *output, const char *text, size_t length);

/// Gives the temporary file the old file's mode and owner (a new file 0644
/// less the umask), flushes it to disk and renames it over the file.
void commit_output_file(output_file *output);

/// Ends the run with status and "path: reason".
[[noreturn]] void fail_on_output(const output_file *output, int error);

/// Ends the run after a write to the temporary file through a stream failed:
/// the stream's errno may be stale, so one more byte written at the file's
/// end makes the system tell the reason.
[[noreturn]] void fail_on_stream_write(const output_file *output);

/// For tests: one write call writes at most this many bytes (0: no cap),
/// as the system may cut any write short.
void cap_write_size(size_t bytes);

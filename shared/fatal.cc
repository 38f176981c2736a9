// fatal.cc: the failure exit, and removal of an unfinished output file.
#include "shared/fatal.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

// Fixed storage, so that the signal handler can read it without allocating.
static char pending_output[4096];

static void remove_pending_output()
{
    if (pending_output[0] != '\0') {
        unlink(pending_output);
        pending_output[0] = '\0';
    }
}

static void remove_and_reraise(int signal_number)
{
    if (pending_output[0] != '\0')
        unlink(pending_output);
    std::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void set_pending_output(const char *path)
{
    static bool handlers_set = false;
    if (path == nullptr || strlen(path) >= sizeof pending_output) {
        pending_output[0] = '\0';
        return;
    }
    if (!handlers_set) {
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signal_number, remove_and_reraise);
        handlers_set = true;
    }
    strcpy(pending_output, path);
}

static void (*fatal_hook)(int status) = nullptr;

void set_fatal_hook(void (*hook)(int status))
{
    fatal_hook = hook;
}

void report_and_exit(int status, const char *format, ...)
{
    remove_pending_output();
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    if (fatal_hook != nullptr)
        fatal_hook(status);
    exit(status);
}

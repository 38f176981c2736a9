// fatal.cc: the failure exit, and removal of an unfinished output file.
#include "shared/fatal.h"

#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

// Fixed storage, so that the signal handler can read it without allocating:
// the temporary file is named within its folder, a name of at most 255 bytes
// whatever the length of the output's path.
static int pending_folder = -1;
static char pending_name[NAME_MAX + 1];

static void remove_pending_output()
{
    if (pending_name[0] != '\0') {
        unlinkat(pending_folder, pending_name, 0);
        pending_name[0] = '\0';
    }
}

// The signal is blocked while this runs: raised again under its default
// action, it ends the process as soon as the handler returns.
static void remove_and_reraise(int signal_number)
{
    if (pending_name[0] != '\0')
        unlinkat(pending_folder, pending_name, 0);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigaction(signal_number, &default_action, nullptr);
    raise(signal_number);
}

// Every signal whose default action ends the process (SIGKILL and SIGSTOP
// cannot be caught). A signal that is ignored, or handled by someone else
// (a sanitizer's crash report), is left as it is: nohup's SIGHUP stays
// ignored.
static void install_removal_handlers()
{
    static const int ENDING_SIGNALS[] = {
        SIGHUP,  SIGINT,  SIGQUIT, SIGILL,    SIGTRAP, SIGABRT, SIGBUS,  SIGFPE,
        SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ,
        SIGVTALRM, SIGPROF, SIGIO, SIGSYS,
#ifdef SIGSTKFLT
        SIGSTKFLT,
#endif
#ifdef SIGPWR
        SIGPWR,
#endif
    };
    struct sigaction removal {};
    removal.sa_handler = remove_and_reraise;
    sigfillset(&removal.sa_mask);
    auto install = [&removal](int signal_number) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) == 0 &&
            !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL)
            sigaction(signal_number, &removal, nullptr);
    };
    for (int signal_number : ENDING_SIGNALS)
        install(signal_number);
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; signal_number++)
        install(signal_number);
}

void set_pending_output(int folder, const char *name)
{
    static bool handlers_installed = false;
    if (name == nullptr) {
        pending_name[0] = '\0';
        return;
    }
    if (!handlers_installed) {
        install_removal_handlers();
        handlers_installed = true;
    }
    pending_folder = folder;
    snprintf(pending_name, sizeof pending_name, "%s", name);
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

static const char *running_program = "";
static int out_of_memory_status = 1;

// Called by operator new when no storage is left: it writes without
// allocating (standard error is unbuffered) and removes the temporary file.
static void report_no_memory()
{
    fail_out_of_memory();
}

void set_program_name(const char *name, int status)
{
    running_program = name;
    out_of_memory_status = status;
    std::set_new_handler(report_no_memory);
}

const char *program_name()
{
    return running_program;
}

void fail_out_of_memory()
{
    report_and_exit(out_of_memory_status, "%s: out of memory\n", running_program);
}

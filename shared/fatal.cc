// fatal.cc: the failure exit, and removal of an unfinished output file.
#include "shared/fatal.h"

#include <climits>
#include <cstdint>
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
static bool failing_for_memory = false;

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
    // The report itself, or what exit() runs, may ask for storage again.
    if (failing_for_memory)
        _exit(out_of_memory_status);
    failing_for_memory = true;
    report_and_exit(out_of_memory_status, "%s: out of memory\n", running_program);
}

// libical goes on with a null pointer where its storage could not be had
// (its parser copies a line into it), so a failed allocation of its own
// would end the run with a crash. The programs' malloc, calloc and realloc
// are glibc's (the next definition, through dlsym), with a null result for
// a non-zero size ending the run as a failed operator new does. The heap
// stays glibc's, so free and the aligned allocations are its own. Builds
// with a sanitizer keep the sanitizer's allocator, which reports failures
// itself.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define EVTOOLS_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define EVTOOLS_OWN_ALLOCATOR 1
#endif

#ifndef EVTOOLS_OWN_ALLOCATOR
#include <dlfcn.h>

namespace {

using malloc_function = void *(*)(size_t);
using calloc_function = void *(*)(size_t, size_t);
using realloc_function = void *(*)(void *, size_t);
using free_function = void (*)(void *);

malloc_function next_malloc = nullptr;
calloc_function next_calloc = nullptr;
realloc_function next_realloc = nullptr;
free_function next_free = nullptr;

// What dlsym may allocate while the functions are looked up is served from
// here, and never freed.
alignas(16) char bootstrap[4096];
size_t bootstrap_used = 0;
bool resolving = false;

bool is_bootstrap(const void *pointer)
{
    return pointer >= bootstrap && pointer < bootstrap + sizeof bootstrap;
}

void *bootstrap_allocate(size_t size)
{
    size_t rounded = (size + 15) & ~static_cast<size_t>(15);
    if (rounded > sizeof bootstrap - bootstrap_used)
        return nullptr;
    void *pointer = bootstrap + bootstrap_used;
    bootstrap_used += rounded;
    return pointer;
}

void resolve_allocator()
{
    resolving = true;
    next_malloc = reinterpret_cast<malloc_function>(dlsym(RTLD_NEXT, "malloc"));
    next_calloc = reinterpret_cast<calloc_function>(dlsym(RTLD_NEXT, "calloc"));
    next_realloc = reinterpret_cast<realloc_function>(dlsym(RTLD_NEXT, "realloc"));
    next_free = reinterpret_cast<free_function>(dlsym(RTLD_NEXT, "free"));
    resolving = false;
    if (next_malloc == nullptr || next_calloc == nullptr || next_realloc == nullptr ||
        next_free == nullptr)
        abort();
}

void *checked(void *pointer, size_t size)
{
    if (pointer == nullptr && size > 0)
        fail_out_of_memory();
    return pointer;
}

}  // namespace

extern "C" void *malloc(size_t size)
{
    if (next_malloc == nullptr) {
        if (resolving)
            return bootstrap_allocate(size);
        resolve_allocator();
    }
    return checked(next_malloc(size), size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    if (next_calloc == nullptr) {
        if (resolving)
            return size != 0 && count > SIZE_MAX / size ? nullptr : bootstrap_allocate(count * size);
        resolve_allocator();
    }
    // An overflowing product is the caller's error, not a lack of storage.
    void *pointer = next_calloc(count, size);
    return size != 0 && count > SIZE_MAX / size ? pointer : checked(pointer, count * size);
}

extern "C" void *realloc(void *pointer, size_t size)
{
    if (next_realloc == nullptr)
        resolve_allocator();
    if (is_bootstrap(pointer)) {
        void *moved = malloc(size);
        size_t available = static_cast<size_t>(bootstrap + sizeof bootstrap -
                                               static_cast<char *>(pointer));
        memcpy(moved, pointer, size < available ? size : available);
        return moved;
    }
    return checked(next_realloc(pointer, size), size);
}

extern "C" void free(void *pointer)
{
    if (pointer == nullptr || is_bootstrap(pointer))
        return;
    if (next_free == nullptr)
        resolve_allocator();
    next_free(pointer);
}
#endif

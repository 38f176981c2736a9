// output_file.cc: an output file replaced through a temporary file beside it.
//
// Everything works on the output's folder held open and on single names in
// it, never on the whole path again: a path of any length works as long as
// each name in it does, and the signal handler removes the temporary file by
// its short name.
#include "shared/output_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "shared/fatal.h"

// A symlink chain longer than the system's own limit is a loop.
static const int MAX_SYMLINK_HOPS = 40;
// Room for the suffix within a file name's 255 bytes.
static const size_t TEMP_NAME_BASE = 200;
static const int TEMP_NAME_TRIES = 100;

static size_t write_size_cap = SIZE_MAX;

void cap_write_size(size_t bytes)
{
    write_size_cap = bytes == 0 ? SIZE_MAX : bytes;
}

void fail_on_output(const output_file *output, int error)
{
    report_and_exit(output->status, "%s: %s\n", output->path.c_str(), strerror(error));
}

[[noreturn]] static void fail_not_regular(const output_file *output)
{
    report_and_exit(output->status, "%s: Not a regular file\n", output->path.c_str());
}

// Opens a folder one name at a time, from the folder at for a relative
// path, so that no single call sees more than one name of a path longer than
// the system's limit. O_PATH needs no read permission, only the search
// permission that a plain path lookup needs.
static int open_folder(int at, const std::string &folder)
{
    int fd = folder[0] == '/' ? open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)
                              : openat(at, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    size_t start = 0;
    while (fd >= 0 && start < folder.size()) {
        size_t end = folder.find('/', start);
        if (end == std::string::npos)
            end = folder.size();
        if (end > start) {
            std::string name = folder.substr(start, end - start);
            int next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            int error = errno;
            close(fd);
            errno = error;
            fd = next;
        }
        start = end + 1;
    }
    return fd;
}

// Splits path into its folder and last name and opens the folder, from the
// folder at for a relative path. A path that ends in a slash names a folder,
// which is never an output file.
static void open_folder_of(output_file *output, int at, const std::string &path)
{
    if (path.empty())
        fail_on_output(output, ENOENT);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        int fd = open_folder(at, path);
        fail_on_output(output, fd >= 0 ? EISDIR : errno);
    }
    int fd = open_folder(at, folder);
    if (fd < 0)
        fail_on_output(output, errno);
    if (output->folder >= 0)
        close(output->folder);
    output->folder = fd;
    output->name = name;
}

// The rule the kernel applies to links in sticky, world-writable folders
// such as /tmp (fs.protected_symlinks), which it cannot apply here since the
// links are read and followed one by one: such a link is followed only when
// it belongs to the user running the program or to the folder's owner.
// Another user's link there could send root's output onto any file.
static bool may_follow_link(const output_file *output)
{
    struct stat folder;
    if (fstat(output->folder, &folder) != 0)
        fail_on_output(output, errno);
    bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    uid_t owner = output->existing.st_uid;
    return !shared || owner == geteuid() || owner == folder.st_uid;
}

// A relative link target is relative to the link's folder, the one held open.
// output->existing describes the link.
static void follow_link(output_file *output)
{
    if (!may_follow_link(output))
        fail_on_output(output, EACCES);
    char target[PATH_MAX];
    ssize_t length = readlinkat(output->folder, output->name.c_str(), target, sizeof target);
    if (length < 0)
        fail_on_output(output, errno);
    if (length == 0 || static_cast<size_t>(length) == sizeof target)
        fail_on_output(output, length == 0 ? ENOENT : ENAMETOOLONG);
    open_folder_of(output, output->folder, std::string(target, length));
}

// Walks from the current name through symlinks to the file itself and
// records whether it exists and what it is.
static void resolve_output_file(output_file *output)
{
    for (int hops = 0;; hops++) {
        if (fstatat(output->folder, output->name.c_str(), &output->existing,
                    AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                fail_on_output(output, errno);
            output->exists = false;
            return;
        }
        if (!S_ISLNK(output->existing.st_mode))
            break;
        if (hops == MAX_SYMLINK_HOPS)
            fail_on_output(output, ELOOP);
        follow_link(output);
    }
    output->exists = true;
    if (S_ISDIR(output->existing.st_mode))
        fail_on_output(output, EISDIR);
    if (!S_ISREG(output->existing.st_mode))
        fail_not_regular(output);
}

output_file check_output_file(const char *path, int status)
{
    output_file output{path, status, -1, "", false, {}, "", -1};
    open_folder_of(&output, AT_FDCWD, output.path);
    resolve_output_file(&output);
    // A folder that cannot be written fails now rather than after the work.
    if (faccessat(output.folder, ".", W_OK, AT_EACCESS) != 0)
        fail_on_output(&output, errno);
    return output;
}

// Six letters or digits; the name is only taken when the file is created
// anew (O_EXCL), so a guessed name costs another try, never a file.
static std::string random_suffix()
{
    static const char LETTERS[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t mixed = static_cast<uint64_t>(now.tv_nsec) * 0x9e3779b97f4a7c15u ^
                         static_cast<uint64_t>(getpid()) << 20 ^ static_cast<uint64_t>(now.tv_sec);
        for (unsigned char &byte : bytes) {
            byte = static_cast<unsigned char>(mixed);
            mixed = mixed >> 8 | mixed << 56;
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += LETTERS[byte % (sizeof LETTERS - 1)];
    return suffix;
}

// Signals are held back while the file is created and named for removal, so
// that no signal finds a file that is not yet named.
static void create_named_file(output_file *output)
{
    sigset_t all, previous;
    sigfillset(&all);
    for (int tries = 0; tries < TEMP_NAME_TRIES; tries++) {
        std::string name = "." + output->name.substr(0, TEMP_NAME_BASE) + "." + random_suffix();
        sigprocmask(SIG_BLOCK, &all, &previous);
        int fd = openat(output->folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        int error = errno;
        if (fd >= 0)
            set_pending_output(output->folder, name.c_str());
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        if (fd >= 0) {
            output->fd = fd;
            output->temp_name = name;
            return;
        }
        if (error != EEXIST)
            fail_on_output(output, error);
    }
    fail_on_output(output, EEXIST);
}

void create_temporary_file(output_file *output)
{
    // The file may have changed while the input was read.
    resolve_output_file(output);
    create_named_file(output);
}

void write_output_text(output_file *output, const char *text, size_t length)
{
    // One write call stops short of 2 GiB on Linux, and any write may stop
    // short: the loop goes on until all is written or the system says why not.
    while (length > 0) {
        size_t size = length < write_size_cap ? length : write_size_cap;
        ssize_t written = write(output->fd, text, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail_on_output(output, errno);
        }
        if (written == 0)
            fail_on_output(output, EIO);
        text += written;
        length -= written;
    }
}

void fail_on_stream_write(const output_file *output)
{
    int error = errno;
    struct stat written;
    if (fstat(output->fd, &written) == 0 && pwrite(output->fd, "", 1, written.st_size) < 0)
        error = errno;
    fail_on_output(output, error != 0 ? error : EIO);
}

static mode_t new_file_mode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0644 & ~mask;
}

// The mode is set only now: a file of mode 0444 or 0000 could not have been
// written after it.
static void set_mode_and_owner(output_file *output)
{
    if (!output->exists) {
        if (fchmod(output->fd, new_file_mode()) != 0)
            fail_on_output(output, errno);
        return;
    }
    // The owner first: changing it clears the set-user-ID bit that the mode
    // then gives back. Not ours to give away: the file stays ours, as a new
    // one would.
    if (fchown(output->fd, output->existing.st_uid, output->existing.st_gid) != 0) {
    }
    if (fchmod(output->fd, output->existing.st_mode & 07777) != 0)
        fail_on_output(output, errno);
}

static void sync_folder(int folder)
{
    int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);  // durability of the rename; a failure here loses nothing
        close(fd);
    }
}

void commit_output_file(output_file *output)
{
    set_mode_and_owner(output);
    if (fsync(output->fd) != 0)
        fail_on_output(output, errno);
    if (close(output->fd) != 0)
        fail_on_output(output, errno);
    output->fd = -1;
    // Signals wait until the temporary name is gone from the slot: the
    // handler never removes a name that is now the output's.
    sigset_t all, previous;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &previous);
    if (renameat(output->folder, output->temp_name.c_str(), output->folder,
                 output->name.c_str()) != 0) {
        int error = errno;
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        fail_on_output(output, error);
    }
    set_pending_output(-1, nullptr);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    sync_folder(output->folder);
    close(output->folder);
    output->folder = -1;
}

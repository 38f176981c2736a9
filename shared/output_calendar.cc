// output_calendar.cc: output calendars and their atomic replacement of the output file.
#include "shared/output_calendar.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shared/fatal.h"
#include "shared/tree_moves.h"

icalcomponent *new_output_calendar(const char *prodid)
{
    icalproperty *prodid_property = icalproperty_new_prodid(prodid);
    icalproperty *version = icalproperty_new_version("2.0");
    return icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, version, prodid_property, nullptr);
}

[[noreturn]] static void fail_on_output(const std::string &path, int error)
{
    report_and_exit(STATUS_FILE, "%s: %s\n", path.c_str(), strerror(error));
}

static std::string temp_template(const std::string &path)
{
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (directory.empty())
        directory = "/";
    if (directory.back() != '/')
        directory += '/';
    // Leave room for the suffix within a file name's 255 bytes.
    return directory + "." + base.substr(0, 200) + ".XXXXXX";
}

static mode_t new_file_mode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0644 & ~mask;
}

output_set open_output_set(const char *path)
{
    output_set output{nullptr, path, temp_template(path), -1};
    struct stat existing;
    bool exists = stat(path, &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail_on_output(output.path, EISDIR);

    std::string name = output.temp_path;
    int fd = mkstemp(name.data());
    if (fd < 0)
        fail_on_output(output.path, errno);
    output.temp_path = name;
    output.fd = fd;
    set_pending_output(name.c_str());

    // A new file gets the usual mode; a replaced one keeps its own bits and,
    // where allowed, its owner.
    if (exists) {
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not ours to give away: the file stays ours, as a new one would.
        }
        if (fchmod(fd, existing.st_mode & 07777) != 0)
            fail_on_output(output.path, errno);
    } else if (fchmod(fd, new_file_mode()) != 0) {
        fail_on_output(output.path, errno);
    }

    errno = 0;
    output.set = icalfileset_new(name.c_str());
    if (output.set == nullptr)
        fail_on_output(output.path, errno != 0 ? errno : EIO);
    return output;
}

// libical's commit writes nothing about the cause of a short write but its
// own perror line, and leaves errno stale. Writing the rest of the text
// ourselves makes the system tell the real cause.
static int cause_of_failed_write(int fd, icalcomponent *calendar)
{
    struct stat written;
    if (fstat(fd, &written) != 0)
        return errno;
    char *text = icalcomponent_as_ical_string_r(calendar);
    size_t length = strlen(text);
    off_t offset = written.st_size;
    int cause = EIO;
    while (static_cast<size_t>(offset) < length) {
        ssize_t count = pwrite(fd, text + offset, length - offset, offset);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            cause = errno;
            break;
        }
        if (count == 0)
            break;
        offset += count;
    }
    free(text);
    return cause;
}

// Runs libical's commit with standard error sent to /dev/null: on a short
// write it prints "write: Success", which would only mislead.
static icalerrorenum commit_quietly(icalset *set)
{
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int null_fd = open("/dev/null", O_WRONLY);
    if (saved >= 0 && null_fd >= 0)
        dup2(null_fd, STDERR_FILENO);
    icalerrorenum result = icalfileset_commit(set);
    if (saved >= 0 && null_fd >= 0)
        dup2(saved, STDERR_FILENO);
    if (null_fd >= 0)
        close(null_fd);
    if (saved >= 0)
        close(saved);
    return result;
}

static void sync_directory(const std::string &path)
{
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);  // durability of the rename; a failure here loses nothing
        close(fd);
    }
}

void store_output_calendar(output_set *output, icalcomponent *calendar)
{
    icalfileset_add_component(output->set, calendar);
    if (commit_quietly(output->set) != ICAL_NO_ERROR)
        fail_on_output(output->path, cause_of_failed_write(output->fd, calendar));
    if (fsync(output->fd) != 0)
        fail_on_output(output->path, errno);
    // libical frees a calendar by removing each child, which searches the
    // calendar's zone array for each VTIMEZONE: a calendar of many zones is
    // taken out of the set and left to the process exit.
    if (icalcomponent_count_components(calendar, ICAL_VTIMEZONE_COMPONENT) >
        static_cast<int>(MAX_REMOVED_ZONES))
        icalcomponent_remove_component(icalfileset_get_component(output->set), calendar);
    // icalset_free runs icalfileset_free and also frees the set record itself.
    icalset_free(output->set);
    output->set = nullptr;
    if (close(output->fd) != 0)
        fail_on_output(output->path, errno);
    output->fd = -1;
    if (rename(output->temp_path.c_str(), output->path.c_str()) != 0)
        fail_on_output(output->path, errno);
    set_pending_output(nullptr);
    sync_directory(output->path);
}

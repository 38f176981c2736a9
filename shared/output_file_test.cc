// output_file_test.cc: which file an output path replaces, what is refused
// before anything is written, and that no temporary file outlives a failure
// or a signal.
#include "shared/output_file.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "shared/fatal.h"
#include "tests/test_helpers.h"

namespace {

const int STATUS = 6;  // any status: the caller's is passed through

// Names that begin with a dot anywhere below the folder: temporary files.
std::vector<std::string> temporary_files(const std::string &directory)
{
    std::vector<std::string> found;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(directory))
        if (entry.path().filename().string()[0] == '.')
            found.push_back(entry.path().string());
    return found;
}

// What every program does with its output, in one go.
void replace_with(const std::string &path, const std::string &text)
{
    output_file output = check_output_file(path.c_str(), STATUS);
    create_temporary_file(&output);
    write_output_text(&output, text.data(), text.size());
    commit_output_file(&output);
}

std::string link_target(const std::string &path)
{
    char target[4096];
    ssize_t length = readlink(path.c_str(), target, sizeof target);
    return length < 0 ? std::string() : std::string(target, length);
}

class output_path : public testing::Test {
protected:
    std::string directory;

    void SetUp() override
    {
        directory = make_scratch_folder("evtools-output-file");
        ASSERT_FALSE(directory.empty());
    }

    void TearDown() override { std::filesystem::remove_all(directory); }

    std::string at(const std::string &relative) const { return directory + "/" + relative; }
};

}  // namespace

// Each case makes a symlink and maybe its target in the scratch folder; the
// output is written through the link.
struct symlink_case {
    const char *name;
    const char *link;        // the output path given, a symlink
    const char *target;      // its text
    const char *file;        // the file that must receive the content
    bool file_exists;
};

static const symlink_case SYMLINK_CASES[] = {
    {"relative, live", "out.ics", "real.ics", "real.ics", true},
    {"relative, dangling: the target is created", "out.ics", "new.ics", "new.ics", false},
    {"relative to the link's folder", "links/out.ics", "../data/real.ics", "data/real.ics", true},
    {"dangling into a subfolder", "links/out.ics", "../data/new.ics", "data/new.ics", false},
    {"through a folder that is a symlink", "out.ics", "shortcut/real.ics", "data/real.ics", true},
    {"a chain of two", "out.ics", "links/second.ics", "data/real.ics", true},
};

TEST_F(output_path, a_symlinks_target_is_replaced)
{
    for (const symlink_case &c : SYMLINK_CASES) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(directory);
        ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
        ASSERT_EQ(0, mkdir(at("links").c_str(), 0755));
        ASSERT_EQ(0, mkdir(at("data").c_str(), 0755));
        ASSERT_EQ(0, symlink("data", at("shortcut").c_str()));
        ASSERT_EQ(0, symlink("../data/real.ics", at("links/second.ics").c_str()));
        if (c.file_exists) {
            write_file(at(c.file), "earlier\n");
            ASSERT_EQ(0, chmod(at(c.file).c_str(), 0640));
        }
        ASSERT_EQ(0, symlink(c.target, at(c.link).c_str()));
        mode_t mask = umask(022);

        replace_with(at(c.link), "new content\n");

        umask(mask);
        EXPECT_EQ(c.target, link_target(at(c.link)));
        EXPECT_EQ("new content\n", read_file(at(c.file)));
        struct stat status;
        ASSERT_EQ(0, lstat(at(c.file).c_str(), &status));
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(c.file_exists ? 0640u : 0644u, status.st_mode & 07777);
        EXPECT_EQ(std::vector<std::string>{}, temporary_files(directory));
    }
}

struct refused_case {
    const char *name;
    const char *path;
    const char *reason;
};

static const refused_case REFUSED_CASES[] = {
    {"a FIFO", "fifo", "Not a regular file"},
    {"a socket", "socket", "Not a regular file"},
    {"a symlink to a FIFO", "to_fifo", "Not a regular file"},
    {"a folder", "folder", "Is a directory"},
    {"a symlink to a folder", "to_folder", "Is a directory"},
    {"a missing folder named with a slash", "missing/", "No such file or directory"},
    {"a symlink into a missing folder", "to_missing", "No such file or directory"},
    {"a symlink loop", "loop", "Too many levels of symbolic links"},
    {"below a regular file", "plain/out.ics", "Not a directory"},
    {"an empty path", "", "No such file or directory"},
};

TEST_F(output_path, refused_before_anything_is_written)
{
    ASSERT_EQ(0, mkfifo(at("fifo").c_str(), 0644));
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", at("socket").c_str());
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address));
    ASSERT_EQ(0, mkdir(at("folder").c_str(), 0755));
    write_file(at("plain"), "a file\n");
    ASSERT_EQ(0, symlink("fifo", at("to_fifo").c_str()));
    ASSERT_EQ(0, symlink("folder", at("to_folder").c_str()));
    ASSERT_EQ(0, symlink("missing/out.ics", at("to_missing").c_str()));
    ASSERT_EQ(0, symlink("loop", at("loop").c_str()));
    const std::vector<std::string> before = names_in(directory);
    for (const refused_case &c : REFUSED_CASES) {
        SCOPED_TRACE(c.name);
        std::string path = c.path[0] == '\0' ? std::string() : at(c.path);
        EXPECT_EXIT(check_output_file(path.c_str(), STATUS), testing::ExitedWithCode(STATUS),
                    "^" + regex_of(path) + ": " + c.reason + "\n$");
        EXPECT_EQ(before, names_in(directory));
        EXPECT_TRUE(names_in(at("folder")).empty());
    }
    close(listener);
}

// What was there when the output was checked may change while the input is
// read: the file is looked at again before the temporary file is made.
TEST_F(output_path, checked_again_before_writing)
{
    EXPECT_EXIT(
        {
            output_file output = check_output_file(at("out.ics").c_str(), STATUS);
            mkfifo(at("out.ics").c_str(), 0644);
            create_temporary_file(&output);
        },
        testing::ExitedWithCode(STATUS), ": Not a regular file\n$");
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
}

struct signal_case {
    const char *name;
    int signal_number;
};

static const signal_case ENDING_SIGNALS[] = {
    {"SIGINT", SIGINT},   {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP},
    {"SIGALRM", SIGALRM}, {"SIGUSR1", SIGUSR1}, {"SIGPIPE", SIGPIPE},
    {"SIGQUIT", SIGQUIT}, {"SIGXCPU", SIGXCPU}, {"SIGABRT", SIGABRT},
    {"SIGUSR2", SIGUSR2}, {"SIGPROF", SIGPROF}, {"real-time", SIGRTMIN + 3},
};

TEST_F(output_path, a_signal_removes_the_temporary_file)
{
    write_file(at("out.ics"), "earlier\n");
    for (const signal_case &c : ENDING_SIGNALS) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                output_file output = check_output_file(at("out.ics").c_str(), STATUS);
                create_temporary_file(&output);
                write_output_text(&output, "half", 4);
                raise(c.signal_number);
            },
            testing::KilledBySignal(c.signal_number), "");
        EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
        EXPECT_EQ("earlier\n", read_file(at("out.ics")));
    }
}

// nohup: a signal ignored before the run stays ignored, and the run ends well.
TEST_F(output_path, an_ignored_signal_stays_ignored)
{
    EXPECT_EXIT(
        {
            signal(SIGHUP, SIG_IGN);
            output_file output = check_output_file(at("out.ics").c_str(), STATUS);
            create_temporary_file(&output);
            raise(SIGHUP);
            write_output_text(&output, "new content\n", 12);
            commit_output_file(&output);
            exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ("new content\n", read_file(at("out.ics")));
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
}

// Every write may stop short; the loop goes on until all is out.
TEST_F(output_path, short_writes_are_continued)
{
    std::string text;
    for (int n = 0; text.size() < 100000; n++)
        text += "line " + std::to_string(n) + "\r\n";
    for (size_t cap : {1u, 7u, 4096u, 65537u}) {
        SCOPED_TRACE(cap);
        cap_write_size(cap);
        replace_with(at("out.ics"), text);
        cap_write_size(0);
        EXPECT_EQ(text, read_file(at("out.ics")));
    }
}

// A stream's failed write leaves errno to chance; the file says why.
TEST_F(output_path, a_failed_stream_write_is_explained)
{
    write_file(at("out.ics"), "earlier\n");
    EXPECT_EXIT(
        {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            output_file output = check_output_file(at("out.ics").c_str(), STATUS);
            create_temporary_file(&output);
            FILE *stream = fdopen(dup(output.fd), "w");
            std::string text(10000, 'x');
            fwrite(text.data(), 1, text.size(), stream);
            fflush(stream);
            errno = 0;
            fail_on_stream_write(&output);
        },
        testing::ExitedWithCode(STATUS), "^" + regex_of(at("out.ics")) + ": File too large\n$");
    EXPECT_EQ("earlier\n", read_file(at("out.ics")));
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
}

// Storage that cannot be had while the output is being written: the
// program's own message and status, the output as it was, no temporary file.
TEST_F(output_path, out_of_memory_leaves_the_output_as_it_was)
{
    struct program_case {
        const char *name;
        int status;
    };
    const program_case programs[] = {
        {"evtable", STATUS_EVTABLE_NO_MEMORY},
        {"evsift", STATUS_NO_MEMORY},
        {"evjoin", STATUS_NO_MEMORY},
    };
    for (const program_case &c : programs) {
        SCOPED_TRACE(c.name);
        write_file(at("out.ics"), "earlier\n");
        EXPECT_EXIT(
            {
                set_program_name(c.name, c.status);
                output_file output = check_output_file(at("out.ics").c_str(), STATUS);
                create_temporary_file(&output);
                write_output_text(&output, "partial", 7);
                // What operator new calls when the system has no more.
                std::get_new_handler()();
            },
            testing::ExitedWithCode(c.status), std::string("^") + c.name + ": out of memory\n$");
        EXPECT_EQ("earlier\n", read_file(at("out.ics")));
        EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
    }
}

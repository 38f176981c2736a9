// pty_run: runs a program with a pseudo-terminal on standard output or on
// standard input, for the tests of what the programs do with a terminal.
//
//   pty_run PROGRAM [ARGUMENT...]
//       standard output on a raw pseudo-terminal, whose bytes pty_run copies
//       to its own standard output unchanged
//   pty_run --input FILE PROGRAM [ARGUMENT...]
//       standard input on a terminal that passes on the bytes of FILE and
//       then hangs up, so that the next read fails with EIO
//
// The exit status is the program's, or 128 plus the signal that ended it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

[[noreturn]] static void fail(const char *what)
{
    fprintf(stderr, "pty_run: %s: %s\n", what, strerror(errno));
    exit(125);
}

struct terminal {
    int master;
    int slave;
};

// A terminal that passes bytes unchanged both ways: no echo, no line editing,
// no CR added before LF.
static terminal open_terminal()
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        fail("posix_openpt");
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0)
        fail("open slave");
    termios settings;
    if (tcgetattr(slave, &settings) != 0)
        fail("tcgetattr");
    cfmakeraw(&settings);
    if (tcsetattr(slave, TCSANOW, &settings) != 0)
        fail("tcsetattr");
    return {master, slave};
}

static bool write_all(int fd, const char *bytes, ssize_t count)
{
    while (count > 0) {
        ssize_t written = write(fd, bytes, static_cast<size_t>(count));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

static pid_t start(char **argv, int stdin_fd, int stdout_fd, int close_fd)
{
    pid_t child = fork();
    if (child < 0)
        fail("fork");
    if (child == 0) {
        if ((stdin_fd >= 0 && dup2(stdin_fd, STDIN_FILENO) < 0) ||
            (stdout_fd >= 0 && dup2(stdout_fd, STDOUT_FILENO) < 0))
            fail("dup2");
        close(close_fd);
        execvp(argv[0], argv);
        fail(argv[0]);
    }
    return child;
}

static int status_of(pid_t child)
{
    int status;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            fail("waitpid");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The reading side of a terminal whose other side is closed reads what was
// left in it, then fails with EIO: that ends the copy.
static int run_with_terminal_output(char **argv)
{
    terminal tty = open_terminal();
    pid_t child = start(argv, -1, tty.slave, tty.master);
    close(tty.slave);
    char buffer[65536];
    for (;;) {
        ssize_t got = read(tty.master, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (!write_all(STDOUT_FILENO, buffer, got))
            fail("write");
    }
    return status_of(child);
}

// The program reads the master side; what pty_run writes to the slave side
// arrives there, and closing the slave side is the hang-up.
static int run_with_terminal_input(const char *path, char **argv)
{
    int input = open(path, O_RDONLY);
    if (input < 0)
        fail(path);
    terminal tty = open_terminal();
    pid_t child = start(argv, tty.master, -1, tty.slave);
    close(tty.master);
    char buffer[65536];
    ssize_t got;
    // A program that stops reading early closes the master side, and the
    // writes fail: the rest of the input is not needed then.
    while ((got = read(input, buffer, sizeof buffer)) > 0 && write_all(tty.slave, buffer, got)) {
    }
    close(tty.slave);
    return status_of(child);
}

int main(int argc, char **argv)
{
    if (argc >= 4 && strcmp(argv[1], "--input") == 0)
        return run_with_terminal_input(argv[2], argv + 3);
    if (argc >= 2 && strncmp(argv[1], "--", 2) != 0)
        return run_with_terminal_output(argv + 1);
    fprintf(stderr, "usage: pty_run [--input FILE] PROGRAM [ARGUMENT...]\n");
    return 125;
}

// Child processes through posix_spawn, the terminal shell through fork with
// job control, and waits on a pidfd.
#include "runtime/platform/child_process.h"
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

// The terminal lent to an interactive shell, and its modes when it was lent.
struct LentTerminal {
    int fd = -1;
    termios modes{};
    bool modes_saved = false;
};
LentTerminal Terminal;

void open_pidfd(ChildProcess* child) {
    // Through syscall: this C library's header declares it without C linkage.
    child->pidfd = static_cast<int32_t>(syscall(SYS_pidfd_open, child->pid, 0));
}

// tcsetpgrp from a background process group stops the caller with SIGTTOU
// unless the calling thread blocks it.
void terminal_foreground(int fd, pid_t group) {
    sigset_t ttou, before;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &ttou, &before);
    tcsetpgrp(fd, group);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void terminal_take_back() {
    if (Terminal.fd < 0) return;
    terminal_foreground(Terminal.fd, getpgrp());
    if (Terminal.modes_saved) {
        sigset_t ttou, before;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        pthread_sigmask(SIG_BLOCK, &ttou, &before);
        tcsetattr(Terminal.fd, TCSADRAIN, &Terminal.modes);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    close(Terminal.fd);
    Terminal = LentTerminal{};
}

void child_ended(ChildProcess* child, int status) {
    if (WIFEXITED(status))
        child->exit_status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        child->exit_status = 128 + WTERMSIG(status);
    if (child->pidfd >= 0) close(child->pidfd);
    child->pidfd = -1;
    if (child->owns_terminal) terminal_take_back();
    child->owns_terminal = false;
    child->pid = 0;
}

// In the forked child of the terminal shell: only async-signal-safe calls.
[[noreturn]] void exec_in_terminal(int tty, const char* shell, char* const* argv) {
    sigset_t none;
    sigemptyset(&none);
    signal(SIGTTOU, SIG_IGN);
    setpgid(0, 0);
    tcsetpgrp(tty, getpid());
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int stream = 0; stream < 3; ++stream) dup2(tty, stream);
    close_range(3, ~0U, 0);
    execve(shell, argv, environ);
    _exit(127);
}

}  // namespace

void spawn_signal_defaults(posix_spawnattr_t* attr) {
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(attr, &none);
    posix_spawnattr_setsigdefault(attr, &all);
    posix_spawnattr_setflags(attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

bool child_process_start(ChildProcess* child, const char* const* argv, bool discard_output) {
    *child = ChildProcess{};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    if (discard_output) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    // Our files, sockets and the window-system connection are not the command's.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    spawn_signal_defaults(&attr);
    pid_t pid = 0;
    char* const* args = const_cast<char* const*>(argv);
    int failed = std::strchr(argv[0], '/') ? posix_spawn(&pid, argv[0], &actions, &attr, args, environ)
                                           : posix_spawnp(&pid, argv[0], &actions, &attr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (failed) return false;
    child->pid = pid;
    open_pidfd(child);
    return true;
}

bool child_process_start_in_terminal(ChildProcess* child, const char* shell) {
    *child = ChildProcess{};
    if (Terminal.fd >= 0) return false;
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return false;
    if (tcgetpgrp(tty) != getpgrp()) {
        close(tty);
        return false;
    }
    Terminal.fd = tty;
    Terminal.modes_saved = tcgetattr(tty, &Terminal.modes) == 0;
    char* argv[] = {const_cast<char*>(shell), nullptr};
    pid_t pid = fork();
    if (pid == 0) exec_in_terminal(tty, shell, argv);
    if (pid < 0) {
        close(tty);
        Terminal = LentTerminal{};
        return false;
    }
    // Both sides make the group and hand over the terminal, whichever runs first.
    setpgid(pid, pid);
    terminal_foreground(tty, pid);
    child->pid = pid;
    child->owns_terminal = true;
    open_pidfd(child);
    return true;
}

bool child_process_wait(ChildProcess* child, uint32_t timeout_ms) {
    if (child->pid <= 0) return true;
    if (child->pidfd >= 0) {
        pollfd p{child->pidfd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout_ms)) == 0) return false;
    }
    int status = 0;
    pid_t r = waitpid(child->pid, &status, WNOHANG);
    if (r == 0 && child->pidfd < 0) {
        // A kernel without pidfds: the slice is spent asleep instead.
        poll(nullptr, 0, static_cast<int>(timeout_ms));
        r = waitpid(child->pid, &status, WNOHANG);
    }
    if (r == 0) return false;
    if (r < 0 && errno == EINTR) return false;
    // ECHILD: someone set SIGCHLD to be ignored and the system reaped it.
    child_ended(child, r == child->pid ? status : 0);
    return true;
}

void child_process_release(ChildProcess* child) {
    if (child->pid <= 0) return;
    if (child->owns_terminal) {
        terminal_take_back();
        kill(-child->pid, SIGHUP);
        kill(-child->pid, SIGCONT);
    }
    if (child->pidfd >= 0) close(child->pidfd);
    *child = ChildProcess{};
}

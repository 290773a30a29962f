// Runs part of a test in a child process as a user without privileges:
// `nobody` when the test runs as root (root passes over file permissions and
// a terminal's exclusive mode), the user itself otherwise. The part returns
// what went wrong, "" when nothing did.
#pragma once
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <string>

struct Unprivileged {
    uid_t uid = getuid();
    gid_t gid = getgid();
    // Looked up before any fork: name lookups may take locks of other threads.
    static Unprivileged user() {
        Unprivileged u;
        if (geteuid() == 0)
            if (passwd* nobody = getpwnam("nobody")) u = {nobody->pw_uid, nobody->pw_gid};
        return u;
    }
    // Hands a path to the user (a folder it may then write in).
    bool give(const std::string& path) const { return geteuid() != 0 || chown(path.c_str(), uid, gid) == 0; }
    bool become() const {
        if (geteuid() != 0) return true;
        return uid != 0 && setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && geteuid() != 0;
    }
};

// The part's failures, or a note that the child could not run it.
inline std::string run_unprivileged(const std::function<std::string()>& part) {
    const Unprivileged user = Unprivileged::user();
    int report[2];
    if (pipe(report) != 0) return "no pipe";
    pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        std::string failure = user.become() ? part() : "could not drop root";
        (void)!write(report[1], failure.data(), failure.size());
        _exit(0);
    }
    close(report[1]);
    std::string failure;
    char block[256];
    for (ssize_t n; (n = read(report[0], block, sizeof block)) > 0;) failure.append(block, static_cast<size_t>(n));
    close(report[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        failure += " (the child ended abnormally)";
    return failure;
}

// The exit code of `part` run in a process of its own (forked from this one).
inline int in_other_process(const std::function<int()>& part) {
    pid_t child = fork();
    if (child == 0) _exit(part());
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

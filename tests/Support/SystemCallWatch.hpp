#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bridge::testing {

// What a watched piece of work did, as the kernel saw it.
struct WatchedCalls {
    bool watched = false;   // the kernel offered the filter; otherwise nothing ran
    bool succeeded = false; // what the work itself returned
    // In order: 'c' a refused chmod, 'f' an fsync of a file, 'd' an fsync of a folder.
    std::string calls;
};

// Runs `work` in a child process where every chmod fails with EPERM, as on a filesystem that
// keeps no permissions, and every fsync is noted before it runs. A seccomp filter hands those
// calls to a watcher thread of the child that the filter does not cover. The child cannot
// report test failures, so `work` says whether it went well.
inline WatchedCalls watchSystemCalls(const std::function<bool()>& work) {
#if defined(__x86_64__)
    constexpr unsigned arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned arch = AUDIT_ARCH_AARCH64;
#else
    constexpr unsigned arch = 0; // a machine this filter does not know: nothing is watched
#endif
    if (arch == 0) {
        return {};
    }
    struct Report {
        bool watched = false;
        bool succeeded = false;
        char calls[64] = {};
    };
    int results[2];
    if (::pipe(results) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return {};
    }
    if (child == 0) {
        ::close(results[0]);
        Report report;
        std::atomic<std::size_t> seen = 0;
        int handOver[2];
        if (::pipe(handOver) != 0) {
            ::_exit(1);
        }
        std::thread watcher([&] {
            int listener = -1;
            if (::read(handOver[0], &listener, sizeof listener) != sizeof listener) {
                return;
            }
            for (;;) {
                seccomp_notif call{};
                if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return;
                }
                seccomp_notif_resp answer{};
                answer.id = call.id;
                char kind = 'c';
                if (call.data.nr == SYS_fsync) {
                    struct stat info {};
                    const bool folder = ::fstat(static_cast<int>(call.data.args[0]), &info) == 0 &&
                                        S_ISDIR(info.st_mode);
                    kind = folder ? 'd' : 'f';
                    answer.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
                } else {
                    answer.error = -EPERM;
                }
                if (const std::size_t at = seen.load(); at + 1 < sizeof report.calls) {
                    report.calls[at] = kind;
                    seen.store(at + 1);
                }
                ::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer);
            }
        });
        watcher.detach();
        std::vector<unsigned> watchedCalls{SYS_fsync, SYS_fchmod, SYS_fchmodat};
#ifdef SYS_chmod
        watchedCalls.push_back(SYS_chmod);
#endif
#ifdef SYS_fchmodat2
        watchedCalls.push_back(SYS_fchmodat2);
#endif
        std::vector<sock_filter> code{
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        };
        for (std::size_t i = 0; i < watchedCalls.size(); ++i) {
            // Jumps to the last statement, the hand-over, on a match.
            const auto toEnd = static_cast<unsigned char>(watchedCalls.size() - i);
            code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, watchedCalls[i], toEnd, 0));
        }
        code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
        code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF));
        const sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
        int listener = -1;
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0) {
            listener = static_cast<int>(::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER,
                                                  SECCOMP_FILTER_FLAG_NEW_LISTENER, &program));
        }
        if (listener >= 0 && ::write(handOver[1], &listener, sizeof listener) == sizeof listener) {
            report.watched = true;
            report.succeeded = work();
            report.calls[seen.load()] = '\0';
        }
        const bool sent = ::write(results[1], &report, sizeof report) == sizeof report;
        ::_exit(sent ? 0 : 1);
    }
    ::close(results[1]);
    Report report;
    const bool received = ::read(results[0], &report, sizeof report) == sizeof report;
    ::close(results[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!received) {
        return {};
    }
    return WatchedCalls{report.watched, report.succeeded, report.calls};
}

} // namespace bridge::testing

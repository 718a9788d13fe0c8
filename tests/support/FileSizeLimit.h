#pragma once
// A write that a full disk would stop part way, without a small file system:
// `work` runs in a child process whose files may not grow past `bytes` (the
// kernel's file-size limit, SIGXFSZ ignored so that the write fails with
// EFBIG instead). The child's exit code is `work`'s result, 255 when the
// limit could not be set, -1 when the child did not end normally.

#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

inline int RunWithFileSizeLimit(rlim_t bytes, const std::function<int()>& work)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(255);
        ::_exit(work());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

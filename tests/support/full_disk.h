#pragma once
// A disk that is full past a given size, for this process (FullDisk) or for a child
// (FullDiskInChild): RLIMIT_FSIZE makes the kernel refuse every write beyond it with
// EFBIG, a real write failure that needs no root and no spare mount. SIGXFSZ is
// ignored so the write fails instead of killing the process.
#include <csignal>
#include <sys/resource.h>

class FullDisk
{
public:
    explicit FullDisk(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = m_saved;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
};

// For QProcess::setChildProcessModifier: runs in the child between fork and exec.
inline void FullDiskInChild(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight{};
    getrlimit(RLIMIT_FSIZE, &tight);
    tight.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &tight);
}

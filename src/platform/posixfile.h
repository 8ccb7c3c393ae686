#pragma once

#include <QString>

#include <sys/types.h>
#include <unistd.h>
#include <utility>

// Owns a file descriptor, so that every path out of a function closes it.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd; }
    /// Gives the descriptor up to the caller, who closes it.
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};

/// The system's sentence for an error number, with a full stop; it names every number.
QString errnoText(int error);

/// Why a file of `mode` (a folder, a pipe, a device) is no file to read or write.
QString notRegularReason(mode_t mode);

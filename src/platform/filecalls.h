#pragma once

#include <sys/types.h>

// The system calls through which files are read and written. Tests replace one of them to make
// a disk or a stream fail at a chosen step; the program never changes them.
struct FileCalls
{
    ssize_t (*read)(int fd, void *into, size_t count);
    ssize_t (*write)(int fd, const void *from, size_t count);
    ssize_t (*pwrite)(int fd, const void *from, size_t count, off_t offset);
    int (*fallocate)(int fd, int mode, off_t offset, off_t length);
    int (*ftruncate)(int fd, off_t length);
    int (*fsync)(int fd);
};

extern FileCalls fileCalls;

#pragma once

#include <unistd.h>

// An open file descriptor, closed when this goes.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd; }

private:
    int fd;
};

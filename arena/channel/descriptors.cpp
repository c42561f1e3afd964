#include "arena/channel/descriptors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace descriptors {

bool send(int socket, const void *data, size_t size, const int *fds, int count)
{
    iovec part{const_cast<void *>(data), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * maxPassed)] = {};
    if (count > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * size_t(count));
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * size_t(count));
        std::memcpy(CMSG_DATA(header), fds, sizeof(int) * size_t(count));
    }
    return retryInterrupted([&] { return ::sendmsg(socket, &message, MSG_NOSIGNAL); }) == ssize_t(size);
}

namespace {

void takeDescriptors(msghdr &message, int *fds, int &count)
{
    const int room = count;
    count = 0;
    for (cmsghdr *h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
        if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t n = (h->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < n; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(h) + i * sizeof(int), sizeof fd);
            if (count < room)
                fds[count++] = fd;
            else
                ::close(fd);
        }
    }
}

} // namespace

long receive(int socket, void *data, size_t size, int *fds, int &count, bool wait)
{
    iovec part{data, size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * maxPassed)] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got
        = retryInterrupted([&] { return ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC | (wait ? 0 : MSG_DONTWAIT)); });
    takeDescriptors(message, fds, count);
    if (got > 0 && (size_t(got) != size || (message.msg_flags & MSG_TRUNC))) {
        for (int i = 0; i < count; ++i)
            ::close(fds[i]);
        count = 0;
        errno = EPROTO;
        return -1;
    }
    return long(got);
}

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = retryInterrupted([&] { return ::write(fd, data, size); });
        if (n <= 0)
            return;
        data += n;
        size -= size_t(n);
    }
}

void closeAllBut(std::initializer_list<int> keep)
{
    std::vector<int> kept(keep);
    kept.push_back(INT_MAX);
    std::sort(kept.begin(), kept.end());
    unsigned from = 3;
    for (int fd : kept) {
        if (fd < int(from))
            continue;
        if (fd > int(from)) {
#if defined(SYS_close_range)
            if (::syscall(SYS_close_range, from, unsigned(fd - 1), 0) != 0)
#endif
                for (long f = from; f < std::min<long>(fd, ::sysconf(_SC_OPEN_MAX)); ++f)
                    ::close(int(f));
        }
        from = fd == INT_MAX ? unsigned(fd) : unsigned(fd) + 1;
    }
}

} // namespace descriptors

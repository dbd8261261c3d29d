#include "platform/helper/HelperSocket.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// Reads exactly `length` bytes, taking the descriptors that come with them; the count read
// (short only at the end of the stream or on an error), or -1 when the descriptors did not fit.
ssize_t ReadWithDescriptors(int socket, uint8_t* data, size_t length, std::vector<int>& descriptors)
{
    size_t got = 0;
    while (got < length) {
        iovec io{data + got, length - got};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostDescriptors)];
        msghdr msg{};
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR)
            continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); n >= 0 && c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
                for (size_t i = 0; i < (c->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
                    int fd;
                    std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                    descriptors.push_back(fd);
                }
        if (n >= 0 && (msg.msg_flags & MSG_CTRUNC || descriptors.size() > kMostDescriptors))
            return -1;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

Received Refuse(HelperMessage& message, std::string& why, std::string reason)
{
    CloseDescriptors(message);
    why = std::move(reason);
    return Received::Refused;
}

}  // namespace

void CloseDescriptors(HelperMessage& message)
{
    for (int fd : message.descriptors)
        ::close(fd);
    message.descriptors.clear();
}

bool SendMessage(int socket, const std::vector<std::string>& fields, const std::vector<int>& descriptors)
{
    std::string bytes = EncodeMessage(fields);
    size_t sent = 0;
    while (sent < bytes.size()) {
        iovec io{bytes.data() + sent, bytes.size() - sent};
        std::vector<cmsghdr> control(CMSG_SPACE(sizeof(int) * descriptors.size()) / sizeof(cmsghdr) + 1);
        msghdr msg{};
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        if (sent == 0 && !descriptors.empty()) {
            msg.msg_control = control.data();
            msg.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
            std::memcpy(CMSG_DATA(c), descriptors.data(), sizeof(int) * descriptors.size());
        }
        ssize_t n = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

Received ReceiveMessage(int socket, size_t most, HelperMessage& message, std::string& why)
{
    message = {};
    uint8_t header[kHelperHeader];
    ssize_t n = ReadWithDescriptors(socket, header, sizeof header, message.descriptors);
    if (n == 0 && message.descriptors.empty())
        return Received::Closed;
    if (n < 0)
        return Refuse(message, why, "more descriptors than a message may bring");
    if (static_cast<size_t>(n) < sizeof header)
        return Refuse(message, why, "the socket closed in the middle of a message's header");
    std::optional<size_t> length = ReadHeader(header, most, why);
    if (!length)
        return Refuse(message, why, why);
    std::vector<uint8_t> payload(*length);
    n = ReadWithDescriptors(socket, payload.data(), payload.size(), message.descriptors);
    if (n < 0)
        return Refuse(message, why, "more descriptors than a message may bring");
    if (static_cast<size_t>(n) < payload.size())
        return Refuse(message, why, "the socket closed in the middle of a message (" + std::to_string(n) + " of " +
                                        std::to_string(payload.size()) + " bytes)");
    std::optional<std::vector<std::string>> fields = ReadFields(payload.data(), payload.size(), why);
    if (!fields) {
        CloseDescriptors(message);
        return Received::Malformed;
    }
    message.fields = std::move(*fields);
    return Received::Message;
}

}  // namespace platform

// Sending and receiving helper messages over a Unix stream socket, with open descriptors
// beside them (SCM_RIGHTS). Internal to platform/.
#pragma once

#include "platform/helper/HelperMessages.h"

namespace platform {

// Sends the fields and the descriptors in one message; false when the peer has gone.
bool SendMessage(int socket, const std::vector<std::string>& fields, const std::vector<int>& descriptors = {});

enum class Received { Message, Closed, Refused, Malformed };

// Receives one message of at most `most` payload bytes. Closed: the peer closed the socket
// before a message began. Refused: the message was cut short, malformed or too large, or
// brought more descriptors than a message may (`why` says which; descriptors that came are
// closed); the stream cannot be trusted after it.
Received ReceiveMessage(int socket, size_t most, HelperMessage& message, std::string& why);

// Closes the descriptors a message brought.
void CloseDescriptors(HelperMessage& message);

}  // namespace platform

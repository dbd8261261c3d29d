// The messages between the window and the privileged helper: one small, versioned format.
// A message is "BWH", a version byte, the payload's length (32 bits, little-endian) and the
// payload: a count of fields (16 bits) and each field as its length (32 bits) and its bytes.
// The first field of a request is its verb, of a reply "ok" or "refused". Open descriptors
// travel beside a message (SCM_RIGHTS), never inside it. Internal to platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr uint8_t kHelperVersion = 1;
constexpr size_t kHelperHeader = 8;
constexpr size_t kMostRequestBytes = 64 * 1024;   // a request is a verb, a disk and a tool's arguments
constexpr size_t kMostReplyBytes = 16u << 20;      // a reply may carry a folder listing
constexpr size_t kMostFields = 64;
constexpr size_t kMostDescriptors = 2;

struct HelperMessage {
    std::vector<std::string> fields;
    std::vector<int> descriptors;  // received or to be sent beside it
};

// The payload length a header announces; nullopt with `why` for a header that is not ours,
// of another version, or longer than `most`.
std::optional<size_t> ReadHeader(const uint8_t* header, size_t most, std::string& why);
// The fields of a payload; nullopt with `why` when it is cut short, has bytes left over or
// too many fields.
std::optional<std::vector<std::string>> ReadFields(const uint8_t* payload, size_t length, std::string& why);
// Header and payload of a message with these fields.
std::string EncodeMessage(const std::vector<std::string>& fields);

// What the window may ask.
enum class HelperVerb { Hello, Open, Hold, Run, Reread };

struct HelperRequest {
    HelperVerb verb = HelperVerb::Hello;
    std::string backing;             // the disk asked for, by its backing ("/dev/sdb")
    std::string access;              // open: read|write; hold: read|openforwrite|write|rawread
    int windowFd = -1;               // run: the disk descriptor's number in the window
    // run: what a second descriptor is to the tool: none, its standard input (the data a
    // copy onto the key reads) or its standard output (a file copied off the key)
    std::string stream = "none";
    std::vector<std::string> args;   // run: the tool and its arguments
};

// A request read from its fields and the count of descriptors that came with it: nullopt
// with `why` for an unknown verb, a wrong number of fields or descriptors, a field that is
// not one of its verb's values.
std::optional<HelperRequest> ParseRequest(const std::vector<std::string>& fields, size_t descriptors,
                                          std::string& why);
// The fields of a request, as the window sends it.
std::vector<std::string> RequestFields(const HelperRequest& request);

}  // namespace platform

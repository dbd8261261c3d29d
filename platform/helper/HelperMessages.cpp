#include "platform/helper/HelperMessages.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace platform {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

void PutLe(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

const char* const kVerbs[] = {"hello", "open", "hold", "run", "reread"};

bool OneOf(const std::string& value, std::initializer_list<const char*> allowed)
{
    return std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return value == a; });
}

std::optional<int> Number(const std::string& text)
{
    int value = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<HelperRequest> Refuse(std::string& why, std::string reason)
{
    why = std::move(reason);
    return std::nullopt;
}

}  // namespace

std::optional<size_t> ReadHeader(const uint8_t* header, size_t most, std::string& why)
{
    if (std::memcmp(header, "BWH", 3) != 0) {
        why = "not a Bootwright helper message";
        return std::nullopt;
    }
    if (header[3] != kHelperVersion) {
        why = "message version " + std::to_string(header[3]) + ", this helper speaks version " +
              std::to_string(kHelperVersion);
        return std::nullopt;
    }
    size_t length = Le32(header + 4);
    if (length > most) {
        why = "message of " + std::to_string(length) + " bytes, more than " + std::to_string(most);
        return std::nullopt;
    }
    return length;
}

std::optional<std::vector<std::string>> ReadFields(const uint8_t* payload, size_t length, std::string& why)
{
    if (length < 2) {
        why = "message cut short before its field count";
        return std::nullopt;
    }
    size_t count = payload[0] | payload[1] << 8, at = 2;
    if (count == 0 || count > kMostFields) {
        why = "message of " + std::to_string(count) + " fields";
        return std::nullopt;
    }
    std::vector<std::string> fields;
    for (size_t i = 0; i < count; ++i) {
        if (length - at < 4 || Le32(payload + at) > length - at - 4) {
            why = "message cut short in field " + std::to_string(i + 1);
            return std::nullopt;
        }
        size_t size = Le32(payload + at);
        fields.emplace_back(reinterpret_cast<const char*>(payload + at + 4), size);
        at += 4 + size;
    }
    if (at != length) {
        why = std::to_string(length - at) + " bytes after the last field";
        return std::nullopt;
    }
    return fields;
}

std::string EncodeMessage(const std::vector<std::string>& fields)
{
    std::string payload;
    PutLe(payload, fields.size(), 2);
    for (const std::string& field : fields) {
        PutLe(payload, field.size(), 4);
        payload += field;
    }
    std::string message = "BWH";
    message.push_back(static_cast<char>(kHelperVersion));
    PutLe(message, payload.size(), 4);
    return message + payload;
}

std::optional<HelperRequest> ParseRequest(const std::vector<std::string>& fields, size_t descriptors, std::string& why)
{
    const std::string& verb = fields.at(0);
    auto known = std::find(std::begin(kVerbs), std::end(kVerbs), verb);
    if (known == std::end(kVerbs))
        return Refuse(why, "unknown request \"" + verb.substr(0, 32) + "\"");
    HelperRequest request;
    request.verb = static_cast<HelperVerb>(known - std::begin(kVerbs));
    // Fields each verb has: hello; open backing access; hold backing access (and the disk's
    // descriptor); reread backing (and the descriptor);
    // run backing access fd stream tool args...
    static const size_t kFields[] = {1, 3, 3, 5, 2};
    static const size_t kDescriptors[] = {0, 0, 1, 1, 1};
    size_t wanted = kFields[static_cast<int>(request.verb)];
    bool run = request.verb == HelperVerb::Run;
    if (run ? fields.size() <= wanted : fields.size() != wanted)
        return Refuse(why, verb + " with " + std::to_string(fields.size() - 1) + " fields");
    if (fields.size() > 1) {
        request.backing = fields[1];
        if (request.backing.empty() || request.backing[0] != '/' || request.backing.find('\0') != std::string::npos)
            return Refuse(why, verb + ": the disk is not named by its device path");
    }
    if (fields.size() > 2)
        request.access = fields[2];
    if ((request.verb == HelperVerb::Open && !OneOf(request.access, {"read", "write"})) ||
        (request.verb == HelperVerb::Hold &&
         !OneOf(request.access, {"read", "openforwrite", "write", "rawread", "guard-write", "guard-rawread"})) ||
        (run && !OneOf(request.access, {"read", "write"})))
        return Refuse(why, verb + ": unknown access \"" + request.access.substr(0, 32) + "\"");
    if (run) {
        std::optional<int> fd = Number(fields[3]);
        if (!fd || !OneOf(fields[4], {"none", "input", "output"}))
            return Refuse(why, "run: the descriptor is not a number or the stream not none, input or output");
        request.windowFd = *fd;
        request.stream = fields[4];
        request.args.assign(fields.begin() + 5, fields.end());
        for (const std::string& arg : request.args)
            if (arg.find('\0') != std::string::npos)
                return Refuse(why, "run: an argument holds a NUL byte");
    }
    size_t expected = kDescriptors[static_cast<int>(request.verb)] + (run && request.stream != "none" ? 1 : 0);
    if (descriptors != expected)
        return Refuse(why, verb + " with " + std::to_string(descriptors) + " descriptors, not " + std::to_string(expected));
    return request;
}

std::vector<std::string> RequestFields(const HelperRequest& request)
{
    std::vector<std::string> fields = {kVerbs[static_cast<int>(request.verb)]};
    if (request.verb == HelperVerb::Hello)
        return fields;
    fields.push_back(request.backing);
    if (request.verb == HelperVerb::Reread)
        return fields;
    fields.push_back(request.access);
    if (request.verb != HelperVerb::Run)
        return fields;
    fields.push_back(std::to_string(request.windowFd));
    fields.push_back(request.stream);
    fields.insert(fields.end(), request.args.begin(), request.args.end());
    return fields;
}

}  // namespace platform

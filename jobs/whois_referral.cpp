#include "jobs/whois_referral.h"

#include <cstring>

namespace {

constexpr size_t MAX_HOST_NAME = 253;
constexpr size_t MAX_LABEL = 63;

struct ReferralKey {
    const char* name;
    // The value is a URL whose scheme must be "whois://".
    bool url;
};

constexpr ReferralKey KEYS[] = {
    {"refer:", false},
    {"whois:", false},
    {"ReferralServer:", true},
    {"Registrar WHOIS Server:", false},
};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithFolded(const char* text, size_t length, const char* prefix)
{
    const size_t size = strlen(prefix);
    if (length < size)
        return false;
    for (size_t i = 0; i < size; ++i) {
        if (Lower(text[i]) != Lower(prefix[i]))
            return false;
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Reads "host[:port]" from the value: the host is copied whatever it holds,
// for the line to name, and judged afterwards.
void ReadHostAndPort(const char* value, size_t length, WhoisReferral& referral)
{
    size_t hostEnd = 0;
    while (hostEnd < length && value[hostEnd] != ':' && value[hostEnd] != '/')
        ++hostEnd;
    const size_t copied = hostEnd < REFERRAL_HOST_SIZE - 1 ? hostEnd : REFERRAL_HOST_SIZE - 1;
    memcpy(referral.host, value, copied);
    referral.host[copied] = '\0';
    referral.followable = copied == hostEnd && IsPlainHostName(referral.host);

    size_t rest = hostEnd;
    if (rest < length && value[rest] == ':') {
        uint32_t port = 0;
        size_t digits = 0;
        for (++rest; rest < length && value[rest] >= '0' && value[rest] <= '9' && digits < 6; ++rest, ++digits)
            port = port * 10 + static_cast<uint32_t>(value[rest] - '0');
        if (digits == 0 || port == 0 || port > 65535)
            referral.followable = false;
        else
            referral.port = static_cast<uint16_t>(port);
    }
    // Anything after the host and port but a closing slash makes it
    // something other than a server.
    if (rest < length && !(value[rest] == '/' && rest + 1 == length))
        referral.followable = false;
}

// The referral of one line, when it is one.
bool ReadReferralLine(const char* line, size_t length, WhoisReferral& referral)
{
    while (length > 0 && IsBlank(*line)) {
        ++line;
        --length;
    }
    while (length > 0 && (IsBlank(line[length - 1]) || line[length - 1] == '\r'))
        --length;
    for (const ReferralKey& key : KEYS) {
        if (!StartsWithFolded(line, length, key.name))
            continue;
        size_t at = strlen(key.name);
        while (at < length && IsBlank(line[at]))
            ++at;
        if (at == length)
            return false;
        referral = {};
        const char* value = line + at;
        size_t valueLength = length - at;
        if (key.url) {
            const char* scheme = static_cast<const char*>(memchr(value, ':', valueLength));
            const size_t schemeLength = scheme ? static_cast<size_t>(scheme - value) : 0;
            if (!scheme || valueLength - schemeLength < 3 || scheme[1] != '/' || scheme[2] != '/')
                return false;
            const bool whois = StartsWithFolded(value, valueLength, "whois://");
            value += schemeLength + 3;
            valueLength -= schemeLength + 3;
            ReadHostAndPort(value, valueLength, referral);
            // Another kind of server (rwhois, http) is named, not followed.
            referral.followable = referral.followable && whois;
            return true;
        }
        ReadHostAndPort(value, valueLength, referral);
        return true;
    }
    return false;
}

}

bool IsPlainHostName(const char* text)
{
    const size_t length = strlen(text);
    if (length == 0 || length > MAX_HOST_NAME)
        return false;
    size_t labelStart = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && text[i] != '.') {
            if (!IsHostCharacter(text[i]))
                return false;
            continue;
        }
        const size_t label = i - labelStart;
        if (label == 0 || label > MAX_LABEL || text[labelStart] == '-' || text[i - 1] == '-')
            return false;
        labelStart = i + 1;
    }
    return true;
}

bool FindWhoisReferral(const char* answer, size_t length, WhoisReferral& referral)
{
    size_t start = 0;
    while (start < length) {
        const void* found = memchr(answer + start, '\n', length - start);
        const size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - answer) : length;
        if (ReadReferralLine(answer + start, end - start, referral))
            return true;
        start = end + 1;
    }
    return false;
}

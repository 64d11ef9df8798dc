// The referral lines of whois answers: the line of an answer that names the
// server holding the record. Plain C++ with no Windows header, so that it can
// be fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int REFERRAL_HOST_SIZE = 256;
constexpr uint16_t WHOIS_PORT = 43;

struct WhoisReferral {
    char host[REFERRAL_HOST_SIZE];
    // 0 when the referral names no port (the whois service's is used).
    uint16_t port;
    // The host is a plain DNS name (or dotted address) and the port, if any,
    // is a number from 1 to 65535: the referral may be followed.
    bool followable;
};

// Finds the first referral line among the length bytes of answer:
// "refer:" and "whois:" (IANA), "ReferralServer: whois://host[:port]"
// (address registries) and "Registrar WHOIS Server:" (thin registries),
// in any letter case. Returns false when there is none.
bool FindWhoisReferral(const char* answer, size_t length, WhoisReferral& referral);

// True when text is a host name made of letters, digits, hyphens and dots:
// labels of 1 to 63 characters that neither start nor end with a hyphen, at
// most 253 characters in all.
bool IsPlainHostName(const char* text);

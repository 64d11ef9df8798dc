// Holds the referral reader to what it promises of any answer. Input: the answer's bytes.
#include <cstdint>
#include <cstring>
#include <string>

#include "jobs/whois_referral.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* answer = reinterpret_cast<const char*>(data);
    WhoisReferral referral;
    if (FindWhoisReferral(answer, size, referral)) {
        Require(memchr(referral.host, '\0', sizeof referral.host) != nullptr);
        Require(!referral.followable || (IsPlainHostName(referral.host) && referral.host[0] != '\0'));
    }
    // A plain name given after "refer:" is always found, and followed.
    std::string host;
    for (size_t i = 0; i < size && host.size() < 60; ++i) {
        const char c = static_cast<char>('a' + data[i] % 26);
        host += (i % 8 == 7 && i + 1 < size) ? '.' : c;
    }
    if (host.empty())
        return 0;
    const std::string line = "refer: " + host + "\r\n";
    Require(FindWhoisReferral(line.data(), line.size(), referral) && referral.followable && host == referral.host &&
            referral.port == 0);
    return 0;
}

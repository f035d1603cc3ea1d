#pragma once
// Asking web servers whether addresses answer: HEAD requests (GET when HEAD is
// refused) through libcurl, a few in flight at once, each redirect followed
// and recorded. Nothing is downloaded beyond the answer's header.
#include <string>
#include <vector>

namespace platform {

class StopSignal;

struct HttpHop {
    int nStatus = 0;
    std::string strLocation;  // where the answer sent the request
};

struct HttpProbeResult {
    enum class Error { None, TooManyRedirects, Tls, Network, TimedOut, Stopped } error = Error::None;
    int nStatus = 0;  // of the last answer; 0 when none came
    std::vector<HttpHop> listRedirects;
    bool bGetAfterHead = false;  // HEAD was answered 405 or 501: the status is GET's
    std::string strError;  // libcurl's words
};

struct HttpProbeOptions {
    int nTimeoutMs = 10000;  // per request
    int nParallel = 8;
    int nMaxRedirects = 10;
    std::string strUserAgent = "quillory-link-check";
};

// One result per address, in the same order. Only http and https are asked;
// other schemes end as Network errors. A stop request ends what is in flight.
std::vector<HttpProbeResult> ProbeUrls(const std::vector<std::string>& urls, const HttpProbeOptions& options,
                                       const StopSignal* stop = nullptr);

} // namespace platform

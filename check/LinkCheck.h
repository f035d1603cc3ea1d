#pragma once
// On request: whether each http(s) link and remote image of the page answers,
// through a HEAD request (GET when HEAD is refused).
#include <cstdint>
#include <string>
#include <vector>

#include "check/Severity.h"

namespace platform {
class StopSignal;
}

namespace check {

struct Report;

enum class LinkKind : std::uint8_t { Link, Image };

// Why a link did not end with an answer.
enum class LinkProblem : std::uint8_t {
    None,          // an HTTP answer came: nStatus says which
    HttpError,     // it came with 4xx or 5xx
    TooManyRedirects,
    Tls,           // the TLS handshake or the certificate failed
    Network,       // host not found, refused, reset...
    TimedOut,
    Stopped,       // the caller stopped the check first
};

// One step of a redirect chain: the answer and where it sent the request.
struct LinkRedirect {
    int nStatus = 0;
    std::string strLocation;
};

struct LinkResult {
    std::string strUrl;  // as the page wrote it, entities decoded
    std::string strSource;  // the style sheet it is written in; empty for the page
    std::uint32_t nLine = 0;
    std::uint32_t nColumn = 0;  // 1-based, in characters
    LinkKind kind = LinkKind::Link;
    int nStatus = 0;  // of the last answer; 0 when none came
    std::vector<LinkRedirect> listRedirects;
    bool bGetAfterHead = false;  // HEAD was refused (405, 501): the status is GET's
    LinkProblem problem = LinkProblem::None;
    std::string strError;  // libcurl's words for Tls, Network and TimedOut
    Severity severity = Severity::Ok;  // Warning for anything but a 2xx in the end
};

struct LinkReport {
    bool bDone = false;  // links were asked for and checked (or stopped)
    std::vector<LinkResult> listLinks;  // in page order
    unsigned Warnings() const;
};

struct LinkOptions {
    int nTimeoutMs = 10000;   // per request, connection included
    int nParallel = 8;        // requests in flight at most
    int nMaxRedirects = 10;
};

// The http(s) links and remote images of the report's rows (remote verdicts),
// each address once, with the place it first appears.
std::vector<LinkResult> LinkTargets(const Report& report);

// Checks them. Blocks: call it off the GUI thread. A stop request ends the
// requests in flight; links not answered then are Stopped.
LinkReport CheckLinks(const Report& report, const LinkOptions& options = LinkOptions(),
                      const platform::StopSignal* stop = nullptr);

const char* LinkProblemName(LinkProblem problem);

} // namespace check

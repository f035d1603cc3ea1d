#include "check/LinkCheck.h"

#include <algorithm>
#include <unordered_set>

#include "check/PageReport.h"
#include "compose/UrlPath.h"
#include "core/Ascii.h"
#include "platform/HttpProbe.h"

namespace check {
namespace {

bool IsWebAddress(const std::string& url) {
    std::string head = ascii::ToLower(url.substr(0, 8));
    return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

std::string Trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

LinkProblem ProblemOf(platform::HttpProbeResult::Error error) {
    using E = platform::HttpProbeResult::Error;
    switch (error) {
    case E::None: return LinkProblem::None;
    case E::TooManyRedirects: return LinkProblem::TooManyRedirects;
    case E::Tls: return LinkProblem::Tls;
    case E::Network: return LinkProblem::Network;
    case E::TimedOut: return LinkProblem::TimedOut;
    case E::Stopped: return LinkProblem::Stopped;
    }
    return LinkProblem::Network;
}

} // namespace

unsigned LinkReport::Warnings() const {
    unsigned n = 0;
    for (const LinkResult& link : listLinks) n += link.severity == Severity::Warning;
    return n;
}

std::vector<LinkResult> LinkTargets(const Report& report) {
    std::vector<LinkResult> targets = report.listAnchors;
    for (const Row& row : report.listRows) {
        if (row.verdict != Verdict::Remote || !row.bImage) continue;
        LinkResult image;
        // Values in the page are HTML; in a style sheet they are CSS, taken as written.
        image.strUrl = row.strSource.empty() ? DecodeEntities(row.strValue) : row.strValue;
        image.strSource = row.strSource;
        image.nLine = row.nLine;
        image.nColumn = row.nColumn;
        image.kind = LinkKind::Image;
        targets.push_back(std::move(image));
    }
    // Page order (the page first, then each sheet), each address once.
    std::stable_sort(targets.begin(), targets.end(), [](const LinkResult& a, const LinkResult& b) {
        if (a.strSource != b.strSource) return a.strSource.empty() || (!b.strSource.empty() && a.strSource < b.strSource);
        return a.nLine != b.nLine ? a.nLine < b.nLine : a.nColumn < b.nColumn;
    });
    std::unordered_set<std::string> seen;
    std::vector<LinkResult> unique;
    for (LinkResult& t : targets) {
        t.strUrl = Trimmed(t.strUrl);
        if (IsWebAddress(t.strUrl) && seen.insert(t.strUrl).second) unique.push_back(std::move(t));
    }
    return unique;
}

LinkReport CheckLinks(const Report& report, const LinkOptions& options, const platform::StopSignal* stop) {
    LinkReport result;
    result.bDone = true;
    result.listLinks = LinkTargets(report);
    std::vector<std::string> urls;
    for (const LinkResult& link : result.listLinks) urls.push_back(link.strUrl);
    platform::HttpProbeOptions probe;
    probe.nTimeoutMs = options.nTimeoutMs;
    probe.nParallel = options.nParallel;
    probe.nMaxRedirects = options.nMaxRedirects;
    std::vector<platform::HttpProbeResult> answers = platform::ProbeUrls(urls, probe, stop);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        LinkResult& link = result.listLinks[i];
        platform::HttpProbeResult& a = answers[i];
        link.nStatus = a.nStatus;
        link.bGetAfterHead = a.bGetAfterHead;
        for (platform::HttpHop& hop : a.listRedirects) link.listRedirects.push_back({hop.nStatus, std::move(hop.strLocation)});
        link.problem = ProblemOf(a.error);
        link.strError = std::move(a.strError);
        if (link.problem == LinkProblem::None && link.nStatus >= 400) link.problem = LinkProblem::HttpError;
        const bool fine = link.problem == LinkProblem::None && link.nStatus >= 200 && link.nStatus < 300;
        link.severity = fine ? Severity::Ok : link.problem == LinkProblem::Stopped ? Severity::Info : Severity::Warning;
    }
    return result;
}

const char* LinkProblemName(LinkProblem problem) {
    switch (problem) {
    case LinkProblem::None: return "none";
    case LinkProblem::HttpError: return "http-error";
    case LinkProblem::TooManyRedirects: return "too-many-redirects";
    case LinkProblem::Tls: return "tls";
    case LinkProblem::Network: return "network";
    case LinkProblem::TimedOut: return "timed-out";
    case LinkProblem::Stopped: return "stopped";
    }
    return "";
}

} // namespace check

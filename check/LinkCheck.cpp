#include "check/LinkCheck.h"

#include "check/PageReport.h"

namespace check {

unsigned LinkReport::Warnings() const {
    unsigned n = 0;
    for (const LinkResult& link : listLinks) n += link.severity == Severity::Warning;
    return n;
}

std::vector<LinkResult> LinkTargets(const Report& report) { return report.listAnchors; }

LinkReport CheckLinks(const Report& report, const LinkOptions&, const platform::StopSignal*) {
    LinkReport result;
    result.listLinks = LinkTargets(report);
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

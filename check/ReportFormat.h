#pragma once
// The report as people read it, and as one JSON document (docs/check-report.schema.json).
#include <string>

#include "check/PageReport.h"

namespace check {

// The text report prints the spam and link sections when they are there
// (spam not NotRun, links bDone); a caller that streams them prints them alone.
std::string ReportText(const Report& report);
std::string ReportJson(const Report& report);
std::string SpamText(const SpamVerdict& spam);
std::string LinksText(const LinkReport& links);

} // namespace check

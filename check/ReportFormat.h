#pragma once
// The report as people read it, and as one JSON document (docs/check-report.schema.json).
#include <string>

#include "check/PageReport.h"

namespace check {

std::string ReportText(const Report& report);
std::string ReportJson(const Report& report);

} // namespace check

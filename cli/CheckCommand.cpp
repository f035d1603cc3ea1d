#include "cli/CheckCommand.h"

#include "check/ReportFormat.h"

int RunCheck(const ComposeJob& job, bool bJson, std::string& out, std::string& /*err*/) {
    check::Report report = check::CheckPage(job);
    out = bJson ? check::ReportJson(report) : check::ReportText(report);
    return report.HasErrors() ? 1 : 0;
}

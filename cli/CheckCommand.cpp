#include "cli/CheckCommand.h"

#include "check/ReportFormat.h"
#include "core/Ascii.h"

int RunCheck(const ComposeJob& job, bool bJson, const std::vector<std::string>& clientGlobs, std::string& out,
             std::string& err) {
    std::vector<std::string> clients = check::DefaultClients();
    if (!clientGlobs.empty()) {
        std::string unmatched;
        clients = check::SelectClients(clientGlobs, unmatched);
        if (!unmatched.empty()) {
            err = "quillory-cli: no client of the caniemail data matches '" + ascii::Printable(unmatched) +
                  "' (clients are family.platform, for example gmail.android, outlook.windows)\n";
            return 2;
        }
    }
    // Client support never fails the check: only the message's errors do.
    check::Report report = check::CheckPage(job, 0, platform::Platform(), &clients);
    out = bJson ? check::ReportJson(report) : check::ReportText(report);
    return report.HasErrors() ? 1 : 0;
}

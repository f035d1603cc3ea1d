#include "cli/CheckCommand.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "check/ReportFormat.h"
#include "core/Ascii.h"

namespace {

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int RunCheck(const ComposeJob& job, const CheckRun& run, std::string& out, std::string& err) {
    std::vector<std::string> clients = check::DefaultClients();
    if (!run.listClientGlobs.empty()) {
        std::string unmatched;
        clients = check::SelectClients(run.listClientGlobs, unmatched);
        if (!unmatched.empty()) {
            err = "quillory-cli: no client of the caniemail data matches '" + ascii::Printable(unmatched) +
                  "' (clients are family.platform, for example gmail.android, outlook.windows)\n";
            return 2;
        }
    }
    // Client support never fails the check: only the message's errors do.
    check::Report report = check::CheckPage(job, 0, platform::Platform(), &clients);
    const bool composed = report.figures.bSizeKnown;
    // Made before the threads start: they write their parts of the report.
    const std::string text = run.bJson ? std::string() : check::ReportText(report);

    // SpamAssassin and the web answer in seconds: each runs on a thread of its
    // own, and its section is printed when it is done.
    std::mutex lock;
    std::condition_variable done;
    std::deque<std::string> sections;
    std::vector<std::thread> workers;
    if (run.bSpam && composed)
        workers.emplace_back([&] {
            check::SpamVerdict spam = check::CheckSpam(report.plan, job, platform::Platform());
            std::lock_guard<std::mutex> hold(lock);
            report.spam = std::move(spam);
            sections.push_back(check::SpamText(report.spam));
            done.notify_one();
        });
    if (run.bLinks)
        workers.emplace_back([&] {
            check::LinkReport links = check::CheckLinks(report);
            std::lock_guard<std::mutex> hold(lock);
            report.links = std::move(links);
            sections.push_back(check::LinksText(report.links));
            done.notify_one();
        });
    if (!run.bJson) Print(text);
    {
        std::unique_lock<std::mutex> hold(lock);
        for (std::size_t printed = 0; printed < workers.size(); ++printed) {
            done.wait(hold, [&] { return !sections.empty(); });
            std::string section = std::move(sections.front());
            sections.pop_front();
            if (!run.bJson) {
                hold.unlock();
                Print(section);
                hold.lock();
            }
        }
    }
    for (std::thread& t : workers) t.join();
    if (run.bJson) out = check::ReportJson(report);
    return report.HasErrors() ? 1 : 0;
}

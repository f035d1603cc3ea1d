#include "check/SpamCheck.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "compose/MimeComposer.h"
#include "core/Ascii.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/TempFile.h"

namespace check {
namespace {

// Header fields SpamAssassin adds at the top of the message it gives back, so
// that only the header block needs reading: the score, the threshold and
// every rule hit with its exact points; then its report, for the descriptions.
constexpr const char kVerdictField[] = "X-Spam-Quillory-Verdict";
constexpr const char kRulesField[] = "X-Spam-Quillory-Rules";
constexpr std::size_t kOutputKept = 256 * 1024;
constexpr std::size_t kPrefsMax = 1024 * 1024;

// The fields of the header block, each unfolded but with its lines kept.
std::vector<std::string> FieldLines(const std::string& text, const std::string& name) {
    std::vector<std::string> lines;
    bool inField = false;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;  // the end of the header
        if (line[0] == ' ' || line[0] == '\t') {
            if (inField) lines.push_back(line);
            continue;
        }
        inField = ascii::ToLower(line.substr(0, line.find(':'))) == ascii::ToLower(name);
        if (inField) lines.push_back(line.substr(line.find(':') + 1));
    }
    return lines;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool ParseNumber(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end && *end == '\0';
}

struct HintRow {
    const char* prefix;  // a rule name, or the start of a family's names
    const char* hint;
};

constexpr const char kTextAlternative[] =
    "add a plain-text version of the page: turn on Prepare for webmail (--webmail)";
constexpr const char kMoreText[] = "put more text next to the images, and give every image an alt text";

const HintRow kHints[] = {
    {"MIME_HTML_ONLY", kTextAlternative},
    {"EMPTY_MESSAGE", kTextAlternative},
    {"TO_NO_BRKTS_HTML_ONLY", kTextAlternative},
    {"MIME_HTML_MOSTLY", kTextAlternative},
    {"HTML_IMAGE_ONLY_", kMoreText},
    {"HTML_IMAGE_RATIO_", kMoreText},
    {"HTML_SHORT_LINK_IMG_", "a short page that is mostly a linked image: add text to it"},
    {"SHORTENER_", "link to the full address instead of a URL shortener"},
    {"SHORT_SHORTNER", "link to the full address instead of a URL shortener"},
    {"URI_", "check the page's links: this rule looks at their addresses"},
    {"T_REMOTE_IMAGE", "remote images: put the image files next to the page so that they travel in the message"},
    {"HTML_FONT_LOW_CONTRAST", "text in a colour close to its background: make it readable"},
    {"HTML_TAG_BALANCE_", "close every element the page opens"},
    {"MISSING_FROM", "fill in From"},
    {"MISSING_SUBJECT", "fill in the Subject"},
    {"EMPTY_SUBJECT", "fill in the Subject"},
    {"MISSING_HEADERS", "fill in To"},
    {"SUBJ_ALL_CAPS", "write the Subject in lower case letters too"},
};

} // namespace

std::string SpamRuleHint(const std::string& strRule) {
    for (const HintRow& row : kHints)
        if (strRule.rfind(row.prefix, 0) == 0) return row.hint;
    return {};
}

bool ParseSpamReport(const std::string& text, SpamVerdict& verdict) {
    std::vector<std::string> verdictLines = FieldLines(text, kVerdictField);
    std::string joined;
    for (const std::string& line : verdictLines) joined += Trim(line) + " ";
    std::istringstream words(joined);
    std::string score, threshold, tests;
    words >> score >> threshold;
    for (std::string more; words >> more;) tests += more;  // a fold may fall after a comma
    if (!ParseNumber(score, verdict.dScore) || !ParseNumber(threshold, verdict.dThreshold)) return false;

    verdict.listRules.clear();
    // "NAME=points,NAME=points", or "none".
    for (std::size_t start = 0; start < tests.size();) {
        std::size_t end = std::min(tests.find(',', start), tests.size());
        std::string item = tests.substr(start, end - start);
        start = end + 1;
        std::size_t eq = item.find('=');
        SpamRule rule;
        if (eq == std::string::npos || !ParseNumber(item.substr(eq + 1), rule.dScore)) continue;
        rule.strName = item.substr(0, eq);
        rule.strHint = SpamRuleHint(rule.strName);
        verdict.listRules.push_back(std::move(rule));
    }
    // The report's lines: "*  2.2 NAME description", a long description
    // going on in lines of its own ("*      more words").
    SpamRule* last = nullptr;
    for (const std::string& raw : FieldLines(text, kRulesField)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] != '*') continue;
        std::istringstream in(line.substr(1));
        std::string points, name;
        in >> points >> name;
        double ignored;
        auto named = std::find_if(verdict.listRules.begin(), verdict.listRules.end(),
                                  [&](const SpamRule& r) { return r.strName == name; });
        if (ParseNumber(points, ignored) && named != verdict.listRules.end()) {
            std::string rest;
            std::getline(in, rest);
            named->strDescription = Trim(rest);
            last = &*named;
        } else if (last) {
            last->strDescription += " " + Trim(line.substr(1));
        }
    }
    std::stable_sort(verdict.listRules.begin(), verdict.listRules.end(),
                     [](const SpamRule& a, const SpamRule& b) { return a.dScore > b.dScore; });
    verdict.state = SpamState::Done;
    return true;
}

SpamVerdict CheckSpam(const MessagePlan& plan, const ComposeJob& job, const platform::Platform& env,
                      const platform::StopSignal* stop, const SpamOptions& options) {
    SpamVerdict verdict;
    verdict.strProgram = "spamassassin";
    auto fail = [&](SpamState state, std::string why) {
        verdict.state = state;
        verdict.strWhy = std::move(why);
        return verdict;
    };

    CMimeComposer composer(env);
    composer.m_job = job;
    composer.m_job.m_pProgress = nullptr;
    composer.UsePlan(plan);
    platform::StringOutput message;
    if (!composer.ComposeInto(message)) return fail(SpamState::NotRun, "the message cannot be composed: " + composer.GetLastError());

    // SpamAssassin makes ~/.spamassassin whatever it is told: its home is a
    // private folder here, and the user's own preferences are read from theirs.
    platform::OwnedTempFolder home;
    std::string prefsFolder = options.strPrefsFolder, err;
    if (prefsFolder.empty()) {
        if (!home.Create("quillory-spam-", err)) return fail(SpamState::Failed, "cannot make a temporary folder: " + err);
        prefsFolder = home.Path();
    }
    std::vector<std::string> argv = {"spamassassin", "-L", "-x",
                                     "--cf=report_safe 0",
                                     std::string("--cf=add_header all ") + (kVerdictField + 7) + " _SCORE_ _REQD_ _TESTSSCORES(,)_",
                                     std::string("--cf=add_header all ") + (kRulesField + 7) + " _REPORT_"};
    // SpamAssassin tries writing beside its preferences file: the user's own
    // is read here and handed over as a copy in the private folder.
    std::string userHome, prefsText;
    if (env.environment->GetVar("HOME", userHome) && !userHome.empty() &&
        platform::ReadConfigFile(userHome + "/.spamassassin/user_prefs", prefsText, kPrefsMax) == 0) {
        const std::string copy = prefsFolder + "/user_prefs";
        std::unique_ptr<platform::OutputFile> out = env.files->CreateOutput(copy, platform::ReadOnlyTarget::Refuse, err);
        if (out && out->Write(prefsText.data(), prefsText.size(), err) && out->Commit(err))
            argv.push_back("--prefspath=" + copy);
    }
    platform::RunResult run = platform::RunWithInput(argv, message.Text(), kOutputKept, options.nTimeoutMs, stop,
                                                     {"HOME=" + prefsFolder});
    using State = platform::RunResult::State;
    switch (run.state) {
    case State::CannotStart: return fail(SpamState::Unavailable, "SpamAssassin is not installed: no spam verdict");
    case State::Stopped: return fail(SpamState::Stopped, "the spam check was stopped");
    case State::TimedOut:
    case State::Failed: return fail(SpamState::Failed, run.strError);
    case State::Exited: break;
    }
    if (run.nExitCode != 0) {
        std::string why = "SpamAssassin failed (status " + std::to_string(run.nExitCode) + ")";
        std::string said = Trim(run.strStderr.substr(0, run.strStderr.find('\n')));
        if (!said.empty()) why += ": " + ascii::Printable(said);
        return fail(SpamState::Failed, why);
    }
    if (!ParseSpamReport(run.strOutput, verdict)) return fail(SpamState::Failed, "SpamAssassin gave no score");
    return verdict;
}

const char* SpamStateName(SpamState state) {
    switch (state) {
    case SpamState::NotRun: return "not-run";
    case SpamState::Unavailable: return "unavailable";
    case SpamState::Failed: return "failed";
    case SpamState::Stopped: return "stopped";
    case SpamState::Done: return "done";
    }
    return "";
}

} // namespace check

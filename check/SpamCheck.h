#pragma once
// A spam filter's verdict on the message as it would be sent: SpamAssassin,
// when installed, run on the composed bytes with its network tests off.
#include <string>
#include <vector>

#include "check/Severity.h"
#include "compose/ComposeJob.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"

namespace platform {
class StopSignal;
}

namespace check {

enum class SpamState : std::uint8_t {
    NotRun,       // not asked for (--no-spam), or the message could not be composed
    Unavailable,  // SpamAssassin is not installed: strWhy says so
    Failed,       // it ran but gave no verdict: strWhy says why
    Stopped,      // the caller stopped it
    Done,
};

struct SpamRule {
    std::string strName;         // "MIME_HTML_ONLY"
    double dScore = 0;           // points it added (may be negative)
    std::string strDescription;  // SpamAssassin's own words, on one line
    std::string strHint;         // what the user can change; empty when nothing useful
};

struct SpamVerdict {
    SpamState state = SpamState::NotRun;
    std::string strWhy;      // for Unavailable, Failed and Stopped
    std::string strProgram;  // what gave the verdict: "spamassassin"
    double dScore = 0;
    double dThreshold = 5.0;  // "required", from the local configuration
    std::vector<SpamRule> listRules;  // in SpamAssassin's order: highest points first

    bool IsSpam() const { return state == SpamState::Done && dScore >= dThreshold; }
    // Warning at or over the threshold, Info for a verdict below it or none.
    Severity GetSeverity() const { return IsSpam() ? Severity::Warning : Severity::Info; }
};

struct SpamOptions {
    int nTimeoutMs = 60000;  // SpamAssassin's rules take a second or two to load
    // The folder for SpamAssassin's user preferences; empty: a private
    // temporary one, so that the check never writes to the user's home.
    std::string strPrefsFolder;
};

// Composes the message the plan describes into memory, exactly as it would be
// sent, and runs it through SpamAssassin. Blocks: call it off the GUI thread.
// A stop request kills SpamAssassin (with what it started) and returns Stopped.
SpamVerdict CheckSpam(const MessagePlan& plan, const ComposeJob& job, const platform::Platform& env,
                      const platform::StopSignal* stop = nullptr, const SpamOptions& options = SpamOptions());

// Reads SpamAssassin's report (what `spamassassin -t` appends) into verdict;
// false when it holds no score.
bool ParseSpamReport(const std::string& text, SpamVerdict& verdict);

// What the user can change for a rule, or "" when nothing useful can be said.
std::string SpamRuleHint(const std::string& strRule);

const char* SpamStateName(SpamState state);

} // namespace check

#include "check/SpamCheck.h"

namespace check {

SpamVerdict CheckSpam(const MessagePlan&, const ComposeJob&, const platform::Platform&, const platform::StopSignal*,
                      const SpamOptions&) {
    SpamVerdict verdict;
    verdict.state = SpamState::Failed;
    verdict.strWhy = "the spam check is not built yet";
    return verdict;
}

bool ParseSpamReport(const std::string&, SpamVerdict&) { return false; }

std::string SpamRuleHint(const std::string&) { return {}; }

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

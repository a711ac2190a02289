// The fault layer (see faults.h). Every matching rule counts the call, even when an
// earlier rule already gives the answer.
#include "sim/faults.h"

#include "sim/host.h"

#include <cstdlib>

namespace dfcsim {

namespace {

bool matches(const FaultRule& rule, const CallKey& key) {
    if (!rule.call.empty() && rule.call != key.call)
        return false;
    if (rule.command && rule.command != key.command)
        return false;
    if (rule.opcode && rule.opcode != key.opcode)
        return false;
    return true;
}

} // namespace

std::optional<FaultAnswer> applyFaults(Board& board, const CallKey& key) {
    std::optional<FaultAnswer> answer;
    for (FaultRule& rule : board.faults) {
        if (!matches(rule, key))
            continue;
        const std::uint32_t use = ++rule.seen;
        const bool due = use >= rule.from && (rule.times == 0 || use - rule.from < rule.times);
        // An exit rule stands for the process being killed: it ends before the call is
        // answered or journalled, with no clean-up of any kind.
        if (due && rule.exit)
            std::_Exit(*rule.exit);
        // A stop rule stands for an operator's Ctrl-C or a service manager's SIGTERM
        // arriving during this call; the call itself is answered as usual.
        if (due && rule.stop)
            hostRequestStop();
        if (due && !answer && (rule.result || rule.status))
            answer = FaultAnswer{rule.result.value_or(rule.status.value_or(0) != 0 ? 2u : 0u),
                                 rule.status};
    }
    return answer;
}

} // namespace dfcsim

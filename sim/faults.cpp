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
    if (rule.sub && rule.sub != key.sub)
        return false;
    return true;
}

// The answer of a due rule, when it changes the answer at all.
std::optional<FaultAnswer> answerOf(const FaultRule& rule) {
    if (!rule.result && !rule.status && !rule.responseStatus && !rule.responseAdditional &&
        !rule.length && !rule.count)
        return std::nullopt;
    FaultAnswer answer;
    if (rule.result || rule.status)
        answer.result = rule.result.value_or(rule.status.value_or(0) != 0 ? 2u : 0u);
    answer.status = rule.status;
    answer.responseStatus = rule.responseStatus;
    answer.responseAdditional = rule.responseAdditional;
    answer.length = rule.length;
    answer.count = rule.count;
    return answer;
}

bool isDue(const FaultRule& rule, std::uint32_t use) {
    return use >= rule.from && (rule.times == 0 || use - rule.from < rule.times);
}

} // namespace

std::optional<FaultAnswer> applyFaults(Board& board, const CallKey& key) {
    std::optional<FaultAnswer> answer;
    for (FaultRule& rule : board.faults) {
        if (!matches(rule, key))
            continue;
        const bool due = isDue(rule, ++rule.seen);
        // An exit rule stands for the process being killed: it ends before the call is
        // answered or journalled, with no clean-up of any kind.
        if (due && rule.exit)
            std::_Exit(*rule.exit);
        // A stop rule stands for an operator's Ctrl-C or a service manager's SIGTERM
        // arriving during this call; the call itself is answered as usual.
        if (due && rule.stop)
            hostRequestStop();
        if (due && !answer)
            answer = answerOf(rule);
    }
    return answer;
}

std::optional<FaultAnswer> applyUnboardedFaults(const std::vector<FaultRule>& rules,
                                                const CallKey& key, std::uint32_t use) {
    for (const FaultRule& rule : rules) {
        if (!matches(rule, key) || !isDue(rule, use))
            continue;
        if (rule.exit)
            std::_Exit(*rule.exit);
        if (rule.stop)
            hostRequestStop();
        if (auto answer = answerOf(rule))
            return answer;
    }
    return std::nullopt;
}

} // namespace dfcsim

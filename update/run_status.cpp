// The run's exit status from its outcome (see run_status.h).
#include "update/run_status.h"

namespace {

std::int32_t inventoryStatus(const RunOutcome& o) {
    const std::uint32_t listed = static_cast<std::uint32_t>(o.selected.size());
    if (o.devicesIncomplete > 0 && listed == o.devicesIncomplete)
        return codeNumber(ResultCode::DevicesIncomplete);
    if (o.selectionMissed)
        return codeNumber(ResultCode::DevicesIncomplete);
    if (o.devicesIncomplete > 0 && listed > o.devicesIncomplete)
        return codeNumber(ResultCode::SomeDevicesIncomplete);
    return codeNumber(ResultCode::Success);
}

std::int32_t updateStatus(const RunOutcome& o) {
    const std::uint32_t attempts = o.attempts();
    const std::uint32_t failures = o.failures();
    ResultCode result = ResultCode::Success;
    if (failures > 0 && attempts == failures)
        result = ResultCode::UpdatesFailed;
    else if (o.selectionMissed)
        result = ResultCode::UpdatesFailed;
    else if (failures > 0 && attempts > failures)
        result = ResultCode::SomeUpdatesFailed;
    else if (attempts == 0)
        result = ResultCode::NothingUpdated;
    // Adapters a stop request left as they were are updates not done.
    if (o.untouched > 0)
        result = attempts > failures ? ResultCode::SomeUpdatesFailed : ResultCode::UpdatesFailed;
    // A family that was not recorded is an update not done: the next run would flash
    // the card again.
    if (o.softVpdNotWritten && result == ResultCode::Success)
        result = ResultCode::SomeUpdatesFailed;
    else if (o.softVpdNotWritten && result == ResultCode::NothingUpdated)
        result = ResultCode::UpdatesFailed;
    return codeNumber(result);
}

} // namespace

std::int32_t exitStatus(const RunOutcome& o) {
    // A document that did not reach its file whole is never taken for success.
    if (o.documentIncomplete)
        return codeNumber(ResultCode::OutputFileFailed);
    if (o.precondition != ResultCode::Success)
        return codeNumber(o.precondition);
    return o.execution ? updateStatus(o) : inventoryStatus(o);
}


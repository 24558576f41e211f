// What the exclusive lock of one client keeps from the others: every
// command that changes the configuration, the reading memory, the
// statistics or the limits, which all clients share. Commands that touch
// only the sender's own queue, registers or reading format stay free, as
// do queries that only look.
#include <algorithm>
#include <array>

#include "ScpiCommands.h"

namespace ksv::scpi {

TScpiError TSessionContext::LockAllows(const TCommandEntry& entry, const TCommand& command) const
{
    const int owner = instrument_.LockOwner();
    if (owner == 0 || owner == id_) return {};
    using S = TSessionContext;
    static const std::array<THandler, 11> own = {&S::Cls, &S::Opc, &S::Wai, &S::Ese,
                                                 &S::Sre, &S::OperEnable, &S::QuesEnable, &S::StatusPreset,
                                                 &S::FormatTime, &S::FormatChannel, &S::FormatUnit};
    static const std::array<THandler, 3> changingQueries = {&S::Read, &S::Measure, &S::Remove};
    const auto listed = [&](const auto& handlers) {
        return std::find(handlers.begin(), handlers.end(), entry.Handler) != handlers.end();
    };
    const bool changes = command.Query ? listed(changingQueries) : !listed(own);
    return changes ? Fail(err::kExecutionError, "locked by another client") : TScpiError{};
}

} // namespace ksv::scpi

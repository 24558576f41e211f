// The handlers of the common commands (*IDN?, *RST, status registers) and
// of SYSTem.
#include "ScpiCommands.h"

#include <cmath>

#include "ScpiParams.h"
#include "Version.h"

namespace ksv::scpi {

using TExec = TSessionContext::TExec;

// ---- common commands -------------------------------------------------------

TScpiError TSessionContext::Idn(TExec& e)
{
    const TModuleFacts facts = instrument_.Facts();
    if (facts.Several) // the crate: maker, model, serial, this program's version
        e.Answer = std::string("KSV27_Vorn ksv27-vorn-cli,KSV crate,") + IdnField(facts.CrateSerial, "0") + "," +
                   KSV27_VERSION_TEXT;
    else
        e.Answer = std::string("KSV27_Vorn ksv27-vorn-cli ") + KSV27_VERSION_TEXT + "," +
                   IdnField(facts.Model, "KSV27") + "," + IdnField(facts.Serial, "0") + "," +
                   IdnField(facts.Firmware, "0");
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::Rst(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.Reset();
    format_ = {};
    return {};
}

TScpiError TSessionContext::Cls(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    errors_.Clear();
    esr_ = 0;
    operation_.TakeEvents(instrument_.Operation());
    questionable_.TakeEvents(instrument_.Questionable());
    return {};
}

TScpiError TSessionContext::Opc(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    if (instrument_.Busy()) opcPending_ = true;
    else esr_ |= kEsrOperationComplete;
    return {};
}

TScpiError TSessionContext::OpcQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Wait = instrument_.Busy();
    e.Answer = "1";
    if (!e.Wait) TellFailure();
    return {};
}

TScpiError TSessionContext::Wai(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Wait = instrument_.Busy();
    return {};
}

TScpiError TSessionContext::EsrQuery(TExec& e)
{
    e.Answer = std::to_string(esr_);
    esr_ = 0;
    return CountParams(e.Command, 0, 0);
}

namespace {
// A mask 0..max (MIN 0, MAX max).
template <class T>
TScpiError ToMask(const TCommand& c, int max, T& mask)
{
    if (TScpiError error = CountParams(c, 1, 1)) return error;
    double value = 0.0;
    std::string mnemonic;
    if (IsMnemonic(c.Params[0], mnemonic)) value = mnemonic == "MAX" ? max : 0;
    else if (TScpiError error = ToPlainNumber(c.Params[0], value)) return error;
    const double rounded = std::round(value);
    if (rounded < 0 || rounded > max) return Fail(err::kDataOutOfRange, "0.." + std::to_string(max));
    mask = static_cast<T>(rounded);
    return {};
}
} // namespace

TScpiError TSessionContext::Ese(TExec& e) { return ToMask(e.Command, 255, ese_); }
TScpiError TSessionContext::Sre(TExec& e) { return ToMask(e.Command, 255, sre_); }

TScpiError TSessionContext::EseQuery(TExec& e)
{
    e.Answer = std::to_string(ese_);
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::SreQuery(TExec& e)
{
    e.Answer = std::to_string(sre_);
    return CountParams(e.Command, 0, 0);
}

std::uint8_t TSessionContext::StatusByte(bool messageAvailable) const
{
    std::uint8_t stb = 0;
    if (errors_.Count() > 0) stb |= kStbErrorQueue;
    if (questionable_.Summary(instrument_.Questionable())) stb |= kStbQuestionable;
    if (messageAvailable) stb |= kStbMessageAvailable;
    if (esr_ & ese_) stb |= kStbEventStatus;
    if (operation_.Summary(instrument_.Operation())) stb |= kStbOperation;
    if (stb & sre_ & ~kStbRequestService) stb |= kStbRequestService;
    return stb;
}

TScpiError TSessionContext::StbQuery(TExec& e)
{
    e.Answer = std::to_string(StatusByte());
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::TstQuery(TExec& e)
{
    e.Answer = instrument_.Facts().Open ? "0" : "1";
    return CountParams(e.Command, 0, 0);
}

// ---- SYSTem ---------------------------------------------------------------

TScpiError TSessionContext::ErrorNext(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Answer = ErrorAnswer(errors_.Pop());
    return {};
}

TScpiError TSessionContext::ErrorCount(TExec& e)
{
    e.Answer = std::to_string(errors_.Count());
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::ErrorAll(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Answer = ErrorAnswer(errors_.Pop());
    while (errors_.Count() > 0) e.Answer += "," + ErrorAnswer(errors_.Pop());
    return {};
}

TScpiError TSessionContext::Version(TExec& e)
{
    e.Answer = "1999.0";
    return CountParams(e.Command, 0, 0);
}

// ---- STATus ----------------------------------------------------------------

TStatusCondition TSessionContext::Condition(bool questionable) const
{
    return questionable ? instrument_.Questionable() : instrument_.Operation();
}

TScpiError TSessionContext::StatusEvent(TExec& e, bool questionable)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Answer = std::to_string((questionable ? questionable_ : operation_).TakeEvents(Condition(questionable)));
    return {};
}

TScpiError TSessionContext::StatusCondition(TExec& e, bool questionable)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Answer = std::to_string(Condition(questionable).Bits);
    return {};
}

TScpiError TSessionContext::StatusEnable(TExec& e, bool questionable)
{
    std::uint16_t& enable = (questionable ? questionable_ : operation_).Enable;
    if (e.Command.Query) {
        e.Answer = std::to_string(enable);
        return CountParams(e.Command, 0, 0);
    }
    return ToMask(e.Command, 32767, enable);
}

TScpiError TSessionContext::OperEvent(TExec& e) { return StatusEvent(e, false); }
TScpiError TSessionContext::OperCondition(TExec& e) { return StatusCondition(e, false); }
TScpiError TSessionContext::OperEnable(TExec& e) { return StatusEnable(e, false); }
TScpiError TSessionContext::QuesEvent(TExec& e) { return StatusEvent(e, true); }
TScpiError TSessionContext::QuesCondition(TExec& e) { return StatusCondition(e, true); }
TScpiError TSessionContext::QuesEnable(TExec& e) { return StatusEnable(e, true); }

TScpiError TSessionContext::StatusPreset(TExec& e)
{
    operation_.Enable = questionable_.Enable = 0;
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::MezzanineQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannelList(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(err::kHardwareMissing, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) { return Quoted(facts.Mezzanines[static_cast<std::size_t>(c / 2)]); });
    return {};
}

// The module in a crate slot: type, serial and firmware ("0,0,0,0" for an
// empty or foreign slot, or one this instrument does not serve).
TScpiError TSessionContext::ModuleTypeQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    double number = 0.0;
    if (TScpiError error = ToPlainNumber(e.Command.Params[0], number)) return error;
    if (number != std::floor(number) || number < 1 || number > 16) return Fail(err::kDataOutOfRange, "slot not in 1..16");
    const TModuleFacts facts = instrument_.Facts();
    e.Answer = "0,0,0,0";
    for (const TServedModule& module : facts.Modules)
        if (module.Slot == static_cast<int>(number) && !module.Model.empty())
            e.Answer = "KSV," + IdnField(module.Model, "KSV27") + "," + IdnField(module.Serial, "0") + "," +
                       IdnField(module.Firmware, "0");
    return {};
}

} // namespace ksv::scpi

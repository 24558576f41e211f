// The handlers of the common commands (*IDN?, *RST, status registers) and
// of SYSTem.
#include "ScpiCommands.h"

#include <cmath>

#include "ScpiParams.h"
#include "Version.h"

namespace ksv::scpi {

using TExec = TScpiSession::TExec;

// ---- common commands -------------------------------------------------------

TScpiError TScpiSession::Idn(TExec& e)
{
    const TModuleFacts facts = instrument_.Facts();
    e.Answer = std::string("KSV27_Vorn ksv27-vorn-cli ") + KSV27_VERSION_TEXT + "," + IdnField(facts.Model, "KSV27") +
               "," + IdnField(facts.Serial, "0") + "," + IdnField(facts.Firmware, "0");
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::Rst(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.Reset();
    format_ = {};
    return {};
}

TScpiError TScpiSession::Cls(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    errors_.Clear();
    esr_ = 0;
    return {};
}

TScpiError TScpiSession::Opc(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    if (instrument_.Busy()) opcPending_ = true;
    else esr_ |= 0x01;
    return {};
}

TScpiError TScpiSession::OpcQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Wait = instrument_.Busy();
    e.Answer = "1";
    return {};
}

TScpiError TScpiSession::Wai(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Wait = instrument_.Busy();
    return {};
}

TScpiError TScpiSession::EsrQuery(TExec& e)
{
    e.Answer = std::to_string(esr_);
    esr_ = 0;
    return CountParams(e.Command, 0, 0);
}

namespace {
TScpiError ToMask(const TCommand& c, std::uint8_t& mask)
{
    if (TScpiError error = CountParams(c, 1, 1)) return error;
    double value = 0.0;
    if (TScpiError error = ToPlainNumber(c.Params[0], value)) return error;
    const double rounded = std::round(value);
    if (rounded < 0 || rounded > 255) return Fail(-222, "0..255");
    mask = static_cast<std::uint8_t>(rounded);
    return {};
}
} // namespace

TScpiError TScpiSession::Ese(TExec& e) { return ToMask(e.Command, ese_); }
TScpiError TScpiSession::Sre(TExec& e) { return ToMask(e.Command, sre_); }

TScpiError TScpiSession::EseQuery(TExec& e)
{
    e.Answer = std::to_string(ese_);
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::SreQuery(TExec& e)
{
    e.Answer = std::to_string(sre_);
    return CountParams(e.Command, 0, 0);
}

std::uint8_t TScpiSession::StatusByte(bool messageAvailable) const
{
    std::uint8_t stb = 0;
    if (errors_.Count() > 0) stb |= 0x04;
    if (messageAvailable) stb |= 0x10;
    if (esr_ & ese_) stb |= 0x20;
    if (stb & sre_ & 0xBF) stb |= 0x40;
    return stb;
}

TScpiError TScpiSession::StbQuery(TExec& e)
{
    e.Answer = std::to_string(StatusByte());
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::TstQuery(TExec& e)
{
    e.Answer = instrument_.Facts().Open ? "0" : "1";
    return CountParams(e.Command, 0, 0);
}

// ---- SYSTem ---------------------------------------------------------------

TScpiError TScpiSession::ErrorNext(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Answer = ErrorAnswer(errors_.Pop());
    return {};
}

TScpiError TScpiSession::ErrorCount(TExec& e)
{
    e.Answer = std::to_string(errors_.Count());
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::Version(TExec& e)
{
    e.Answer = "1999.0";
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::MezzanineQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannels(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(-241, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) { return Quoted(facts.Mezzanines[static_cast<std::size_t>(c / 2)]); });
    return {};
}

} // namespace ksv::scpi

#include "LanServices.h"

#include "Commands.h"
#ifdef KSV_WITH_VXI11
#include "vxi11/PortmapRegistration.h"
#include "vxi11/Vxi11Server.h"
#endif
#ifdef KSV_WITH_DNSSD
#include "dnssd/ServiceAnnouncer.h"
#endif

namespace ksv::cli {

struct TLanServices::TParts {
    asio::io_context& Io;
    scpi::TInstrument& Instrument;
    TOptions Options;
    scpi::TAllowList Allow;
#ifdef KSV_WITH_VXI11
    std::unique_ptr<vxi11::TVxi11Server> Vxi11{};
    std::unique_ptr<vxi11::TPortmapRegistration> Portmap{};
#endif
#ifdef KSV_WITH_DNSSD
    std::unique_ptr<dnssd::TServiceAnnouncer> Announcer{};
#endif
};

TLanServices::TLanServices(asio::io_context& io, scpi::TInstrument& instrument, const TOptions& options,
                           const scpi::TAllowList& allow)
    : parts_(new TParts{io, instrument, options, allow})
{
}

TLanServices::~TLanServices() { Stop(); }

bool TLanServices::Start([[maybe_unused]] std::string& error)
{
#ifdef KSV_WITH_VXI11
    TParts& p = *parts_;
    if (!p.Options.Vxi11) return true;
    vxi11::TVxi11Options options;
    options.Listen = p.Options.Listen;
    options.Port = static_cast<std::uint16_t>(p.Options.Vxi11Port);
    options.Allow = p.Allow;
    options.MaxLinks = p.Options.MaxClients;
    auto server = std::make_unique<vxi11::TVxi11Server>(p.Io, p.Instrument, std::move(options));
    if (!server->Listen(error)) return false;
    PrintError("serving VXI-11 (TCPIP::host::INSTR) on " + p.Options.Listen + " port " +
               std::to_string(server->CorePort()));
    p.Portmap = std::make_unique<vxi11::TPortmapRegistration>(server->CorePort());
    p.Vxi11 = std::move(server);
#endif
    return true;
}

#ifdef KSV_WITH_DNSSD
namespace {

bool Loopback(const std::string& listen)
{
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(listen, ec);
    return !ec && address.is_loopback();
}

} // namespace
#endif

void TLanServices::Announce([[maybe_unused]] std::uint16_t scpiPort,
                            [[maybe_unused]] const std::vector<TAnnouncedService>& more)
{
#ifdef KSV_WITH_DNSSD
    TParts& p = *parts_;
    if (!p.Options.Announce) return;
    if (Loopback(p.Options.Listen)) {
        PrintError("DNS-SD: not announced while listening on loopback only (--listen)");
        return;
    }
    const scpi::TModuleFacts facts = p.Instrument.Facts();
    const std::string model = facts.Model.empty() ? "KSV27" : facts.Model;
    const std::string serial = facts.Serial.empty() ? "0" : facts.Serial;
    p.Announcer = std::make_unique<dnssd::TServiceAnnouncer>(
        model + " " + serial, std::vector<std::string>{"txtvers=1", "Manufacturer=KSV", "Model=" + model,
                                                       "SerialNumber=" + serial,
                                                       "FirmwareVersion=" + (facts.Firmware.empty() ? "0" : facts.Firmware)});
    p.Announcer->Add({"_scpi-raw._tcp", scpiPort});
    if (Vxi11Running()) p.Announcer->Add({"_vxi-11._tcp", Vxi11Port()});
    for (const TAnnouncedService& service : more) p.Announcer->Add({service.Type, service.Port});
    if (!p.Announcer->Start()) p.Announcer.reset();
#endif
}

void TLanServices::Stop()
{
#ifdef KSV_WITH_DNSSD
    parts_->Announcer.reset();
#endif
#ifdef KSV_WITH_VXI11
    parts_->Portmap.reset();
    if (parts_->Vxi11) parts_->Vxi11->Stop();
#endif
}

bool TLanServices::Vxi11Running() const { return Vxi11Port() != 0; }

std::uint16_t TLanServices::Vxi11Port() const
{
#ifdef KSV_WITH_VXI11
    if (parts_->Vxi11) return parts_->Vxi11->CorePort();
#endif
    return 0;
}

void TLanServices::PostStateChanged()
{
#ifdef KSV_WITH_VXI11
    if (parts_->Vxi11) parts_->Vxi11->PostStateChanged();
#endif
}

void TLanServices::PostError([[maybe_unused]] int owner, [[maybe_unused]] const scpi::TScpiError& error)
{
#ifdef KSV_WITH_VXI11
    if (parts_->Vxi11) parts_->Vxi11->PostError(owner, error);
#endif
}

} // namespace ksv::cli

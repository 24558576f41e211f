#include "WebService.h"

#include <asio/ip/address.hpp>
#include <asio/ip/host_name.hpp>

#include "scpi/Instrument.h"

namespace ksv::web {

TWebService::TWebService(const scpi::TInstrument& instrument, TWebOptions options)
    : state_(instrument.Facts().Several), site_(instrument, state_), server_(std::move(options), site_, state_)
{
}

TWebService::~TWebService() { server_.Stop(); }

void TWebService::TakeScan(const TScan& scan)
{
    state_.TakeScan(scan);
    server_.CycleTaken();
}

bool TWebService::Open(const TServiceFacts& service, std::string& error)
{
    site_.SetService(service);
    if (!server_.Listen(error)) return false;
    server_.Start();
    return true;
}

std::string ReachableHost(const std::string& listen)
{
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(listen, ec);
    if (!ec && !address.is_unspecified()) return address.to_string();
    const std::string name = asio::ip::host_name(ec);
    return ec || name.empty() ? "localhost" : name;
}

} // namespace ksv::web

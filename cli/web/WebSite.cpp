#include "WebSite.h"

#include "ServiceResources.h"
#include "WebAssets.h"
#include "WebState.h"
#include "scpi/Instrument.h"

namespace ksv::web {

namespace {

// JSON inside the page's data block: '<' escaped, so no "</script>" ends it early.
std::string ForDataBlock(const std::string& json)
{
    std::string out;
    for (const char c : json) {
        if (c == '<') out += "\\u003c";
        else out += c;
    }
    return out;
}

void ReplaceOnce(std::string& text, std::string_view marker, const std::string& with)
{
    const std::size_t at = text.find(marker);
    if (at != std::string::npos) text.replace(at, marker.size(), with);
}

} // namespace

TWebSite::TWebSite(const scpi::TInstrument& instrument, const TWebState& state)
    : instrument_(instrument), state_(state)
{
}

std::string TWebSite::Event() const { return StatusJson(instrument_, state_, service_); }

std::string TWebSite::Page() const
{
    std::string page(FindAsset("/index.html")->Body);
    ReplaceOnce(page, "{{STATUS}}", ForDataBlock(Event()));
    return page;
}

TWebResponse TWebSite::Get(std::string_view target) const
{
    const std::string_view path = target.substr(0, target.find('?'));
    if (path == "/" || path == "/index.html") return {200, "text/html; charset=utf-8", Page()};
    if (path == "/api/status") return {200, "application/json", Event() + "\n"};
    if (path == "/api/readings") return {200, "application/json", ReadingsJson(state_) + "\n"};
    if (path == "/api/trend") return {200, "application/json", TrendJson(state_) + "\n"};
    if (path == "/lxi/identification")
        return {200, "text/xml; charset=utf-8",
                IdentificationXml(KnownFacts(instrument_, state_.Snapshot()), service_)};
    if (const TAsset* asset = FindAsset(path); asset && path != "/index.html")
        return {200, std::string(asset->ContentType), std::string(asset->Body), true};
    return {404, "text/plain; charset=utf-8", "not found\n"};
}

} // namespace ksv::web

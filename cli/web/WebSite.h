// What the service's web side answers, path by path, as plain data: the
// page, its script and styles (compiled into the binary), the identification
// document and the JSON of /api. No sockets here; the server asks it.
#pragma once

#include <string>
#include <string_view>

#include "WebJson.h"

namespace ksv::web {

struct TWebResponse {
    unsigned Status = 200;
    std::string ContentType;
    std::string Body;
    bool Cacheable = false; // a fixed asset of this build
};

class TWebSite {
public:
    TWebSite(const scpi::TInstrument& instrument, const TWebState& state);
    // Before the server starts.
    void SetService(TServiceFacts service) { service_ = std::move(service); }

    // A GET of `target` (path and any query).
    TWebResponse Get(std::string_view target) const;
    // What the event stream sends: the status JSON.
    std::string Event() const;

private:
    std::string Page() const;

    const scpi::TInstrument& instrument_;
    const TWebState& state_;
    TServiceFacts service_;
};

// The page's security policy: its own script, styles and event stream only.
inline constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

} // namespace ksv::web

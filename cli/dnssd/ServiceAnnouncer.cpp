#include "ServiceAnnouncer.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include "Commands.h"

namespace ksv::dnssd {

// Touched by avahi's thread in its callbacks and by ours only under its lock.
struct TServiceAnnouncer::TState {
    std::string Name;
    std::vector<std::string> Txt;
    std::vector<TService> Services;
    AvahiThreadedPoll* Poll = nullptr;
    AvahiClient* Client = nullptr;
    AvahiEntryGroup* Group = nullptr;
};

namespace {

using TState = TServiceAnnouncer::TState;

void Publish(TState& s, AvahiClient* client);

void Rename(TState& s, AvahiClient* client)
{
    char* other = avahi_alternative_service_name(s.Name.c_str());
    cli::PrintError("DNS-SD: the name '" + s.Name + "' is taken; announcing as '" + other + "'");
    s.Name = other;
    avahi_free(other);
    if (s.Group) avahi_entry_group_reset(s.Group);
    Publish(s, client);
}

void GroupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* data)
{
    auto& s = *static_cast<TState*>(data);
    if (state == AVAHI_ENTRY_GROUP_COLLISION) Rename(s, avahi_entry_group_get_client(group));
    else if (state == AVAHI_ENTRY_GROUP_FAILURE)
        cli::PrintError(std::string("DNS-SD: announcing failed: ") +
                        avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))));
}

void Publish(TState& s, AvahiClient* client)
{
    if (!s.Group) s.Group = avahi_entry_group_new(client, GroupChanged, &s);
    if (!s.Group) return;
    AvahiStringList* txt = nullptr;
    for (const std::string& entry : s.Txt) txt = avahi_string_list_add(txt, entry.c_str());
    int error = 0;
    for (const TService& service : s.Services) {
        error = avahi_entry_group_add_service_strlst(s.Group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                     s.Name.c_str(), service.Type.c_str(), nullptr, nullptr,
                                                     service.Port, txt);
        if (error) break;
    }
    avahi_string_list_free(txt);
    if (error == AVAHI_ERR_COLLISION) return Rename(s, client);
    if (!error) error = avahi_entry_group_commit(s.Group);
    if (error) cli::PrintError(std::string("DNS-SD: announcing failed: ") + avahi_strerror(error));
}

void ClientChanged(AvahiClient* client, AvahiClientState state, void* data)
{
    auto& s = *static_cast<TState*>(data);
    if (state == AVAHI_CLIENT_S_RUNNING) {
        if (!s.Group || avahi_entry_group_is_empty(s.Group)) Publish(s, client);
    } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
        if (s.Group) avahi_entry_group_reset(s.Group);
    }
}

} // namespace

TServiceAnnouncer::TServiceAnnouncer(std::string name, std::vector<std::string> txt)
    : state_(std::make_unique<TState>())
{
    state_->Name = std::move(name);
    state_->Txt = std::move(txt);
}

TServiceAnnouncer::~TServiceAnnouncer()
{
    if (!state_->Poll) return;
    avahi_threaded_poll_stop(state_->Poll);
    if (state_->Client) avahi_client_free(state_->Client); // withdraws the group's services
    avahi_threaded_poll_free(state_->Poll);
}

void TServiceAnnouncer::Add(TService service) { state_->Services.push_back(std::move(service)); }

bool TServiceAnnouncer::Start()
{
    state_->Poll = avahi_threaded_poll_new();
    if (!state_->Poll) return false;
    int error = 0;
    state_->Client = avahi_client_new(avahi_threaded_poll_get(state_->Poll), AvahiClientFlags(0), ClientChanged,
                                      state_.get(), &error);
    if (!state_->Client) {
        cli::PrintError(std::string("DNS-SD: not announced (") + avahi_strerror(error) + ")");
        return false;
    }
    if (avahi_threaded_poll_start(state_->Poll) < 0) {
        cli::PrintError("DNS-SD: not announced (no thread for it)");
        return false;
    }
    return true;
}

} // namespace ksv::dnssd

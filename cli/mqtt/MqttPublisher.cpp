#include "MqttPublisher.h"

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>

#include "CycleJson.h"
#include "MqttStatus.h"

namespace ksv::cli {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kLoopMs = 20;       // the longest a step at the stop waits on the socket
constexpr auto kLongestWait = 1s; // between the client's own steps (keep-alive)
constexpr int kKeepAliveSeconds = 15;
constexpr int kWindowMessages = 64; // handed to the client and not yet answered
constexpr auto kFirstBackOff = 250ms;
constexpr auto kMaxBackOff = 10000ms;
constexpr auto kConnectTimeout = 10s;
constexpr auto kDropReportGap = 5s;
constexpr auto kStatusGrace = 1s; // for the offline status, beyond the flush time
constexpr double kLongestFlushSeconds = 1e7;
// After an outage the backlog goes out at most this many messages a second
// above the live ones, so that a broker's queue per subscriber (1000
// messages in a stock configuration) is not overrun by the catch-up while a
// subscriber is itself still coming back: at this rate it may take three
// seconds.
constexpr double kCatchUpMessagesPerSecond = 300;
constexpr double kCatchUpBurst = 50; // messages
constexpr auto kStall = 1s;          // a broker that answers nothing this long stalls

// CONNACK codes of MQTT 3.1.1 that refuse the credentials.
constexpr int kBadUserOrPassword = 4;
constexpr int kNotAuthorised = 5;

std::string ErrorText(int code)
{
    if (code == MOSQ_ERR_ERRNO) return std::strerror(errno);
    return mosquitto_strerror(code);
}

std::string Cycles(std::uint64_t count) { return std::to_string(count) + (count == 1 ? " cycle" : " cycles"); }

std::string SecondsText(std::chrono::milliseconds time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(time.count()) / 1000.0);
    return text;
}

} // namespace

TMqttPublisher::TMqttPublisher(TMqttSettings settings)
    : settings_(std::move(settings)), queue_(settings_.QueueCycles)
{
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
}

TMqttPublisher::~TMqttPublisher() { Finish(); }

void TMqttPublisher::Start(const TRunDescription& run)
{
    {
        const std::lock_guard lock(runMutex_);
        run_ = run;
    }
    if (started_) {
        // A new measurement of the same module (serve): its rate and time
        // go into the status.
        runChanged_ = true;
        wakeup_.Notify();
        return;
    }
    topics_ = MakeMqttTopics(settings_.Url.Prefix, run.CrateSerial, run.Slot);
    for (int c = 0; c < kChannelCount; ++c) channelTopics_[static_cast<std::size_t>(c)] = topics_.Channel(c);
    clientId_ = settings_.ClientId.empty() ? MqttClientId(run.CrateSerial, run.Slot) : settings_.ClientId;
    backOff_ = kFirstBackOff;
    started_ = true;
    thread_ = std::thread([this] {
        // Ctrl+C and SIGTERM are for the measurement's thread; here they
        // would only break the library's waits.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        Run();
    });
}

void TMqttPublisher::Publish(const TCycleResult& cycle)
{
    if (!started_ || stopping_) return;
    queue_.Push(packer_.Pack(cycle));
    if (waiting_.exchange(false)) wakeup_.Notify();
}

std::string TMqttPublisher::Stop()
{
    if (!started_) return {};
    const bool first = !report_;
    const TMqttStopReport report = Finish();
    if (refused_ && !settings_.Credentials)
        return Where() + " refused an anonymous client (" + refusal_ + "); give it a user with --mqtt-credentials";
    if (refused_) return Where() + " refused the user name or password (" + refusal_ + ")";
    if (first) {
        std::string line = "mqtt: " + Cycles(report.Published) + " published";
        if (report.Dropped) line += ", " + std::to_string(report.Dropped) + " dropped from the full queue";
        if (report.Unsent) line += ", " + std::to_string(report.Unsent) + " not sent in the time to stop";
        Log(line);
    }
    return {};
}

TMqttStopReport TMqttPublisher::Finish()
{
    if (report_) return *report_;
    stopping_ = true;
    wakeup_.Notify();
    if (thread_.joinable()) thread_.join();
    TMqttStopReport report;
    report.Published = published_;
    report.Dropped = queue_.Dropped();
    report.Unsent = queue_.Size();
    report_ = report;
    return report;
}

void TMqttPublisher::Run()
{
    auto deadline = Clock::time_point::max();
    while (!refused_) {
        const auto now = Clock::now();
        if (stopping_ && deadline == Clock::time_point::max()) {
            const double seconds = std::min(settings_.FlushSeconds, kLongestFlushSeconds); // no overflow
            deadline = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
            nextAttempt_ = now; // the broker may be back: no waiting out the last pause
        }
        if (stopping_ && (queue_.Size() == 0 || now >= deadline)) break;
        ReportDrops(false);
        if (!client_ && now >= nextAttempt_) Connect();
        // Set before the hand-out, so that a cycle pushed after it wakes the wait.
        waiting_ = true;
        if (connected_ && runChanged_.exchange(false)) SayOnline();
        if (connected_) HandOut();
        const auto next = !client_ ? nextAttempt_ : connected_ ? paceWake_
                                                               : attemptStart_ + kConnectTimeout;
        WaitUntil(std::min(deadline, next));
        waiting_ = false;
        if (!client_) continue;
        const int code = mosquitto_loop(client_, 0, 1);
        if (code != MOSQ_ERR_SUCCESS && lostReason_.empty()) lostReason_ = libraryError_.empty() ? ErrorText(code) : libraryError_;
        if (!connected_ && !lost_ && Clock::now() - attemptStart_ > kConnectTimeout)
            lostReason_ = "no answer to the connection";
        if (code != MOSQ_ERR_SUCCESS || lost_ || !lostReason_.empty()) Drop(lostReason_);
    }
    ReportDrops(true);
    if (client_) SayOffline(deadline);
}

void TMqttPublisher::WaitUntil(Clock::time_point until)
{
    // Until the client's socket has news (or can take what is pending), a
    // cycle or the stop comes, or `until`; at most kLongestWait, for the
    // client's keep-alive.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::min(until, Clock::now() + kLongestWait) - Clock::now());
    pollfd fds[2] = {{wakeup_.Fd(), POLLIN, 0}, {-1, 0, 0}};
    if (client_) {
        fds[1].fd = mosquitto_socket(client_);
        // The broker's answers to cycles are read as the next cycle comes,
        // not one wake-up each, unless the window needs room or the stop
        // waits for them.
        if (!connected_ || stopping_ || outstanding_ >= kWindowMessages / 2) fds[1].events |= POLLIN;
        if (mosquitto_want_write(client_)) fds[1].events |= POLLOUT;
    }
    if (::poll(fds, 2, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0))) > 0 &&
        fds[0].revents)
        wakeup_.Drain();
}

void TMqttPublisher::Connect()
{
    attemptStart_ = Clock::now();
    connected_ = lost_ = false;
    lostReason_.clear();
    libraryError_.clear();
    client_ = mosquitto_new(clientId_.c_str(), true, this);
    if (!client_) {
        Drop("cannot make a client");
        return;
    }
    if (!ConfigureClient()) return;
    const int code =
        mosquitto_connect_async(client_, settings_.Url.Host.c_str(), settings_.Url.Port, kKeepAliveSeconds);
    if (code != MOSQ_ERR_SUCCESS) Drop(libraryError_.empty() ? ErrorText(code) : libraryError_);
}

bool TMqttPublisher::ConfigureClient()
{
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(client_, kWindowMessages + 2);
    mosquitto_connect_callback_set(client_, OnConnect);
    mosquitto_disconnect_callback_set(client_, OnDisconnect);
    mosquitto_publish_callback_set(client_, OnPublish);
    mosquitto_log_callback_set(client_, OnLog);
    int code = MOSQ_ERR_SUCCESS;
    if (settings_.Credentials) {
        const auto& c = *settings_.Credentials;
        code = mosquitto_username_pw_set(client_, c.User.c_str(), c.Password ? c.Password->c_str() : nullptr);
    }
    if (code == MOSQ_ERR_SUCCESS && settings_.Url.Tls) {
        code = settings_.CaFile.empty()
                   ? mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                   : mosquitto_tls_set(client_, settings_.CaFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    }
    const std::string will = StatusJson(CurrentRun(), false, std::nullopt);
    if (code == MOSQ_ERR_SUCCESS)
        code = mosquitto_will_set(client_, topics_.Status.c_str(), static_cast<int>(will.size()), will.data(), 1, true);
    if (code != MOSQ_ERR_SUCCESS) Drop(ErrorText(code));
    return code == MOSQ_ERR_SUCCESS;
}

void TMqttPublisher::OnConnect(mosquitto*, void* self, int code) { static_cast<TMqttPublisher*>(self)->Connected(code); }

void TMqttPublisher::OnDisconnect(mosquitto*, void* self, int code)
{
    auto* publisher = static_cast<TMqttPublisher*>(self);
    publisher->lost_ = true;
    if (!publisher->lostReason_.empty()) return;
    if (!publisher->libraryError_.empty()) publisher->lostReason_ = publisher->libraryError_;
    else publisher->lostReason_ = code == 0 ? "disconnected" : ErrorText(code == MOSQ_ERR_ERRNO ? code : MOSQ_ERR_CONN_LOST);
}

void TMqttPublisher::OnPublish(mosquitto*, void* self, int mid) { static_cast<TMqttPublisher*>(self)->Answered(mid); }

// The library's own account of an error (a TLS one above all), kept as the
// reason the connection failed; a certificate the TLS session refused is
// named by what was wrong with it.
void TMqttPublisher::OnLog(mosquitto* client, void* self, int level, const char* text)
{
    auto* publisher = static_cast<TMqttPublisher*>(self);
    if (!(level & MOSQ_LOG_ERR) || !text || !publisher->libraryError_.empty()) return;
    std::string reason = text;
    if (const auto* ssl = static_cast<const SSL*>(mosquitto_ssl_get(client))) {
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK) reason = std::string("certificate refused: ") + X509_verify_cert_error_string(verify);
    }
    publisher->libraryError_ = reason;
}

void TMqttPublisher::Connected(int code)
{
    const bool first = !answered_;
    answered_ = true;
    if (code != 0) {
        lost_ = true;
        lostReason_ = std::string("refused: ") + mosquitto_connack_string(code);
        if (first && (code == kBadUserOrPassword || code == kNotAuthorised)) {
            refusal_ = mosquitto_connack_string(code);
            refused_ = true;
        }
        return;
    }
    Log(everConnected_ ? "mqtt: connected again to " + Where() + "; " + std::to_string(queue_.Size()) +
                             " queued cycles go out first"
                       : "mqtt: publishing to " + Where() + " under " + topics_.Base);
    connected_ = everConnected_ = true;
    failureLogged_ = false;
    // The cycles that waited are backlog, paced from here.
    creditedMessages_ = queue_.PushedMessages();
    creditTime_ = Clock::now();
    liveCredit_ = 0.0;
    catchUpCredit_ = kCatchUpBurst;
    lastProgress_ = Clock::now();
    backOff_ = kFirstBackOff;
    // Said by the loop before any cycle goes out: publishing from inside the
    // library's callback would take its locks in another order.
    runChanged_ = true;
}

void TMqttPublisher::SayOnline()
{
    Send(topics_.Status, StatusJson(CurrentRun(), true, std::chrono::system_clock::now()), true, 1, nullptr);
}

TRunDescription TMqttPublisher::CurrentRun() const
{
    const std::lock_guard lock(runMutex_);
    return run_;
}

void TMqttPublisher::Answered(int mid)
{
    if (mid == offlineMid_) {
        offlineAnswered_ = true;
        return;
    }
    const auto message = cycleOfMessage_.find(mid);
    if (message == cycleOfMessage_.end()) return; // the online status
    const std::uint64_t sequence = message->second;
    cycleOfMessage_.erase(message);
    --outstanding_;
    const auto cycle = unanswered_.find(sequence);
    if (cycle == unanswered_.end() || --cycle->second > 0) return;
    unanswered_.erase(cycle);
    lastProgress_ = Clock::now();
    if (queue_.Sent(sequence)) ++published_;
}

void TMqttPublisher::HandOut()
{
    // The messages of the cycles handed out together leave in as few TCP
    // segments as fit: a segment costs both ends far more than a message.
    const int socket = mosquitto_socket(client_);
    int cork = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
    HandOutCycles();
    cork = 0;
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
}

void TMqttPublisher::HandOutCycles()
{
    // At QoS 0 nothing is answered: a cycle has gone once the client took it,
    // and the client takes more only while its socket keeps up.
    Credit();
    paceWake_ = Clock::time_point::max();
    while (!lost_ && outstanding_ < kWindowMessages && !(settings_.Qos == 0 && mosquitto_want_write(client_))) {
        if (!MayHandOut()) {
            // A backlog: the next cycle waits for its share of the catch-up rate.
            paceWake_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                           (1.0 - catchUpCredit_) / kCatchUpMessagesPerSecond));
            return;
        }
        TPackedCycle packed;
        std::uint64_t sequence = 0;
        if (!queue_.NextToSend(packed, sequence)) return;
        UnpackCycle(packed, scratch_);
        Spend(MessagesOf(packed));
        if (!SendCycle(sequence)) return;
    }
}

// The messages that may go out: every new cycle's own, and the catch-up
// rate above them, with a small burst saved up. What came while nothing
// could be sent (no connection, or a broker that answers nothing for a
// while) is backlog, paced by the catch-up rate alone; a broker that is only
// slow holds nothing back.
void TMqttPublisher::Credit()
{
    const auto now = Clock::now();
    const std::uint64_t pushed = queue_.PushedMessages();
    liveCredit_ += static_cast<double>(pushed - creditedMessages_);
    creditedMessages_ = pushed;
    const bool blocked = outstanding_ > 0 || (settings_.Qos == 0 && mosquitto_want_write(client_));
    if (blocked && now - lastProgress_ > kStall) liveCredit_ = 0.0;
    const double elapsed = std::chrono::duration<double>(now - creditTime_).count();
    creditTime_ = now;
    catchUpCredit_ = std::min(catchUpCredit_ + std::max(elapsed, 0.0) * kCatchUpMessagesPerSecond, kCatchUpBurst);
}

bool TMqttPublisher::MayHandOut() const { return liveCredit_ + catchUpCredit_ > 0.0; }

void TMqttPublisher::Spend(double messages)
{
    const double live = std::min(messages, std::max(liveCredit_, 0.0));
    liveCredit_ -= live;
    catchUpCredit_ -= messages - live;
    lastProgress_ = Clock::now();
}

bool TMqttPublisher::SendCycle(std::uint64_t sequence)
{
    const bool answered = settings_.Qos > 0;
    int messages = 0;
    const auto sendOne = [&](const std::string& topic, const std::string& payload) {
        int mid = 0;
        if (!Send(topic, payload, false, settings_.Qos, &mid)) return false;
        ++messages;
        if (answered) {
            cycleOfMessage_[mid] = sequence;
            ++outstanding_;
        }
        return true;
    };
    if (answered) unanswered_[sequence] = 0;
    if (!sendOne(topics_.Cycle, CycleJson(scratch_))) return false;
    for (std::size_t c = 0; c < scratch_.Channels.size(); ++c) {
        const TChannelResult& channel = scratch_.Channels[c];
        if (!channel.Active || !channel.Valid) continue;
        const int index = static_cast<int>(c);
        if (!sendOne(channelTopics_[c], settings_.BareValues ? channel.Text : ChannelJson(scratch_, index))) return false;
    }
    if (answered) {
        unanswered_[sequence] += messages; // the answers come from the socket, after this
    } else if (queue_.Sent(sequence)) {
        ++published_;
    }
    return true;
}

bool TMqttPublisher::Send(const std::string& topic, const std::string& payload, bool retain, int qos, int* mid)
{
    const int code =
        mosquitto_publish(client_, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
    if (code == MOSQ_ERR_SUCCESS) return true;
    lost_ = true;
    if (lostReason_.empty()) lostReason_ = libraryError_.empty() ? ErrorText(code) : libraryError_;
    return false;
}

void TMqttPublisher::Drop(const std::string& reason)
{
    if (client_) mosquitto_destroy(client_); // closes the socket; the broker then sends the last will
    client_ = nullptr;
    cycleOfMessage_.clear();
    unanswered_.clear();
    outstanding_ = 0;
    queue_.SendAgain();
    if (refused_) return;
    if (connected_) {
        Log("mqtt: lost " + Where() + " (" + reason + "); cycles wait in the queue (at most " +
            std::to_string(settings_.QueueCycles) + ") until it is back");
        failureLogged_ = true;
    } else if (!failureLogged_ || reason.rfind("refused", 0) == 0) {
        Log("mqtt: cannot connect to " + Where() + " (" + reason + "); trying again in " + SecondsText(backOff_) +
            ", then less and less often (at most every " + SecondsText(kMaxBackOff) + ")");
        failureLogged_ = true;
    }
    connected_ = false;
    // At the stop the broker may be back any moment: no waiting out a long pause.
    nextAttempt_ = Clock::now() + (stopping_ ? std::chrono::milliseconds(kFirstBackOff) : backOff_);
    backOff_ = std::min(backOff_ * 2, std::chrono::duration_cast<std::chrono::milliseconds>(kMaxBackOff));
}

void TMqttPublisher::ReportDrops(bool force)
{
    const std::uint64_t dropped = queue_.Dropped();
    if (dropped == reportedDrops_) return;
    const auto now = Clock::now();
    if (!force && reportedDrops_ > 0 && now - lastDropReport_ < kDropReportGap) return;
    Log("mqtt: the queue is full (" + std::to_string(settings_.QueueCycles) + " cycles): dropped the " +
        std::to_string(dropped) + " oldest so far");
    reportedDrops_ = dropped;
    lastDropReport_ = now;
}

void TMqttPublisher::SayOffline(Clock::time_point deadline)
{
    if (connected_) {
        const std::string offline = StatusJson(CurrentRun(), false, std::chrono::system_clock::now());
        const auto until = std::max(deadline, Clock::now() + kStatusGrace);
        if (Send(topics_.Status, offline, true, 1, &offlineMid_)) {
            while (!offlineAnswered_ && !lost_ && Clock::now() < until)
                if (mosquitto_loop(client_, kLoopMs, 1) != MOSQ_ERR_SUCCESS) break;
        }
    }
    // Only a broker that has the offline status gets a clean goodbye; for
    // any other the dropped connection sets the status through the last will.
    if (offlineAnswered_ && mosquitto_disconnect(client_) == MOSQ_ERR_SUCCESS) {
        const auto until = Clock::now() + 500ms;
        while (Clock::now() < until && mosquitto_loop(client_, kLoopMs, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    mosquitto_destroy(client_);
    client_ = nullptr;
}

void TMqttPublisher::Log(const std::string& line) const
{
    if (settings_.Log) settings_.Log(line);
}

std::string TMqttPublisher::Where() const
{
    const TMqttUrl& url = settings_.Url;
    const bool v6 = url.Host.find(':') != std::string::npos;
    return std::string("the broker ") + (url.Tls ? "mqtts://" : "mqtt://") + (v6 ? "[" + url.Host + "]" : url.Host) +
           ':' + std::to_string(url.Port);
}

} // namespace ksv::cli

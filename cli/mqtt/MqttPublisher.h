// Publishes every cycle of a measurement to an MQTT broker through
// libmosquitto, on a thread of its own: the acquisition only packs the cycle
// into the publisher's queue (TCycleQueue) under a short lock, so a slow,
// stalled or absent broker never delays a cycle.
//
// The thread connects (client id and last will from the module), says the
// module is online, and hands the client only as many cycles as can go out
// now (a window of unanswered messages; at QoS 0, none while the socket is
// busy), so the library's own queue stays small. A cycle leaves the queue
// when the broker has taken all its messages. When the connection is lost or
// cannot be had the measurement goes on, the cycles wait, and the thread
// tries again after a growing pause (capped); once connected it sends them,
// oldest first. A broker that refuses the user name or password in its very
// first answer ends the publishing (CredentialsRefused); a refusal later is
// logged and tried again.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "CyclePublisher.h"
#include "CycleQueue.h"
#include "MqttCredentials.h"
#include "MqttTopics.h"
#include "MqttUrl.h"
#include "Wakeup.h"

struct mosquitto;

namespace ksv::cli {

struct TMqttSettings {
    TMqttUrl Url;
    std::string CaFile; // mqtts: the certificates to trust; empty: the system's
    int Qos = 1;        // of the cycle and channel messages; the status always goes at QoS 1
    std::optional<TMqttCredentials> Credentials;
    std::size_t QueueCycles = 100000;
    double FlushSeconds = 5.0; // at the stop, how long queued cycles may take to go out
    bool BareValues = false;   // ch<N> carries the bare number instead of a JSON object
    std::string ClientId;      // empty: from the crate serial and slot
    // One line of news (no line end), called on the publisher's thread; may be empty.
    std::function<void(const std::string&)> Log;
};

struct TMqttStopReport {
    std::uint64_t Published = 0; // cycles the broker took whole
    std::uint64_t Dropped = 0;   // cycles dropped from the full queue
    std::size_t Unsent = 0;      // cycles still queued when the stop's time was up
};

class TMqttPublisher final : public TCyclePublisher {
public:
    explicit TMqttPublisher(TMqttSettings settings);
    ~TMqttPublisher() override;
    TMqttPublisher(const TMqttPublisher&) = delete;
    TMqttPublisher& operator=(const TMqttPublisher&) = delete;

    // Starts the thread for the module `run` describes (its crate and slot
    // name the topics and the client). Called again for a later measurement
    // of the same module, it only says the new run's status.
    void Start(const TRunDescription& run) override;
    // From one thread at a time (the acquisition's); never waits for the network.
    void Publish(const TCycleResult& cycle) override;
    // True once the broker refused the credentials in its first answer; the
    // thread has then ended.
    bool Refused() const override { return refused_; }
    // Finish(), a last line of news with its figures, and the refusal's message.
    std::string Stop() override;
    // Sends what is queued for at most FlushSeconds, says the module is
    // offline and ends the thread. Later calls return the same report.
    TMqttStopReport Finish();

private:
    static void OnConnect(mosquitto* client, void* self, int code);
    static void OnDisconnect(mosquitto* client, void* self, int code);
    static void OnPublish(mosquitto* client, void* self, int mid);
    static void OnLog(mosquitto* client, void* self, int level, const char* text);

    void Run();
    void Connect();
    bool ConfigureClient();
    void Connected(int code);
    void SayOnline();
    TRunDescription CurrentRun() const;
    void Answered(int mid);
    void HandOut();
    void HandOutCycles();
    void Credit();
    bool MayHandOut() const;
    void Spend(double messages);
    bool SendCycle(std::uint64_t sequence);
    bool Send(const std::string& topic, const std::string& payload, bool retain, int qos, int* mid);
    void Drop(const std::string& reason);
    void ReportDrops(bool force);
    void SayOffline(std::chrono::steady_clock::time_point deadline);
    void WaitUntil(std::chrono::steady_clock::time_point until);
    void Log(const std::string& line) const;
    std::string Where() const;

    const TMqttSettings settings_;
    mutable std::mutex runMutex_;
    TRunDescription run_; // under runMutex_
    std::atomic<bool> runChanged_{false};
    TMqttTopics topics_;
    std::array<std::string, kChannelCount> channelTopics_;
    std::string clientId_;
    TCycleQueue queue_;
    TCyclePacker packer_; // the producer's
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> refused_{false};
    TWakeup wakeup_;
    std::atomic<bool> waiting_{false}; // the thread is (about to be) in WaitUntil
    std::optional<TMqttStopReport> report_;

    // The thread's own.
    mosquitto* client_ = nullptr;
    bool connected_ = false;
    bool lost_ = false;
    bool answered_ = false; // a broker has answered a connection of this run
    bool everConnected_ = false;
    bool failureLogged_ = false;
    std::string lostReason_;
    std::string libraryError_; // the library's first error line of this connection
    std::string refusal_;
    std::chrono::steady_clock::time_point attemptStart_{};
    std::chrono::steady_clock::time_point nextAttempt_{};
    std::chrono::milliseconds backOff_{};
    std::unordered_map<int, std::uint64_t> cycleOfMessage_; // mid -> cycle sequence
    std::unordered_map<std::uint64_t, int> unanswered_;     // cycle sequence -> its messages not yet answered
    int outstanding_ = 0;                                   // messages handed out and not yet answered
    int offlineMid_ = -1;
    bool offlineAnswered_ = false;
    std::uint64_t published_ = 0;
    double liveCredit_ = 0.0; // messages of new cycles not yet sent
    double catchUpCredit_ = 0.0;
    std::chrono::steady_clock::time_point lastProgress_{}; // a hand-out or an answer
    std::uint64_t creditedMessages_ = 0;
    std::chrono::steady_clock::time_point creditTime_{};
    std::chrono::steady_clock::time_point paceWake_ = std::chrono::steady_clock::time_point::max();
    std::uint64_t reportedDrops_ = 0;
    std::chrono::steady_clock::time_point lastDropReport_{};
    TCycleResult scratch_;
};

} // namespace ksv::cli

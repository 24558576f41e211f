// The MQTT publisher's parts that need no broker: the URL, topic-safe crate
// serials, the credentials file, packing a cycle, and the bounded queue.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "CycleJson.h"
#include "CycleQueue.h"
#include "MqttCredentials.h"
#include "MqttTopics.h"
#include "MqttUrl.h"

namespace {

using namespace ksv;
using namespace ksv::cli;

TEST(MqttUrl, TakesHostPortAndPrefixAndRefusesWhatCannotBeATopicOrLeaksASecret)
{
    std::string error;
    auto url = ParseMqttUrl("mqtt://broker", error);
    ASSERT_TRUE(url) << error;
    EXPECT_EQ(url->Host, "broker");
    EXPECT_EQ(url->Port, 1883);
    EXPECT_EQ(url->Prefix, "ksv27");
    EXPECT_FALSE(url->Tls);
    url = ParseMqttUrl("mqtts://[::1]:9000/lab/bench3/", error);
    ASSERT_TRUE(url) << error;
    EXPECT_TRUE(url->Tls);
    EXPECT_EQ(url->Host, "::1");
    EXPECT_EQ(url->Port, 9000);
    EXPECT_EQ(url->Prefix, "lab/bench3");
    EXPECT_EQ(ParseMqttUrl("mqtts://h/", error)->Port, 8883);

    for (const char* bad : {"tcp://h", "mqtt://", "mqtt://:1883", "mqtt://h:0", "mqtt://h:65536", "mqtt://h:",
                            "mqtt://h:1x", "mqtt://user:secret@h", "mqtt://h/a/+/b", "mqtt://h/a#", "mqtt://h/a//b",
                            "mqtt://h/$SYS", "mqtt://h/a\tb", "mqtt://h/\xff", "mqtt://[::1", "mqtt://[::1]x"}) {
        error.clear();
        EXPECT_FALSE(ParseMqttUrl(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    ParseMqttUrl("mqtt://user:secret@h", error);
    EXPECT_EQ(error.find("secret"), std::string::npos) << "the message must not repeat the password";
}

TEST(MqttTopics, CrateSerialBecomesOneSafeLevel)
{
    EXPECT_EQ(TopicLevel("KSV-C-0001"), "KSV-C-0001");
    EXPECT_EQ(TopicLevel("a/b+c#d"), "a_b_c_d");
    EXPECT_EQ(TopicLevel(std::string("x\0y\x1f\x7f", 5)), "x_y__");
    EXPECT_EQ(TopicLevel("\xc3\x96l\xc2\x85\xff\xc3"), "\xc3\x96l___") << "C1 control, stray byte, cut sequence";
    EXPECT_EQ(TopicLevel(""), "_");
    const TMqttTopics topics = MakeMqttTopics("lab/b3", "C/1", 5);
    EXPECT_EQ(topics.Cycle, "lab/b3/C_1/5/cycle");
    EXPECT_EQ(topics.Status, "lab/b3/C_1/5/status");
    EXPECT_EQ(topics.Channel(15), "lab/b3/C_1/5/ch16");
    EXPECT_EQ(MqttClientId("C/1", 5), "ksv27-vorn-C_1-5");
}

TEST(MqttCredentials, UserOnTheFirstLinePasswordOnTheSecond)
{
    const auto path = std::filesystem::temp_directory_path() / ("ksv-mqtt-cred-" + std::to_string(::getpid()));
    const auto read = [&](const std::string& text, std::string& error) {
        std::ofstream(path, std::ios::binary) << text;
        return ReadMqttCredentials(path.string(), error);
    };
    std::string error;
    auto credentials = read("bench\r\npa ss\r\n", error);
    ASSERT_TRUE(credentials) << error;
    EXPECT_EQ(credentials->User, "bench");
    EXPECT_EQ(credentials->Password, "pa ss");
    credentials = read("bench", error);
    ASSERT_TRUE(credentials);
    EXPECT_FALSE(credentials->Password);
    EXPECT_FALSE(read("\nsecret\n", error));
    std::filesystem::remove(path);
    EXPECT_FALSE(ReadMqttCredentials(path.string(), error));
}

TCycleResult Cycle(std::uint64_t index)
{
    TCycleResult cycle;
    cycle.Index = index;
    cycle.StartTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'765'299'662'123 + index));
    const char* texts[4] = {"2500.000", "-1.250", "47.000", "--------"};
    for (std::size_t c = 0; c < 4; ++c) {
        TChannelResult& channel = cycle.Channels[c];
        channel.Active = true;
        channel.Kind = c < 2 ? TMezzanineKind::Voltage : TMezzanineKind::Resistance;
        channel.Unit = UnitOf(channel.Kind);
        channel.MezzanineName = c < 2 ? "U10" : "R100";
        channel.Text = texts[c];
        channel.Valid = c < 3;
        channel.Value = c < 3 ? std::stod(texts[c]) : std::numeric_limits<double>::quiet_NaN();
    }
    return cycle;
}

TEST(PackedCycle, UnpacksToTheSameMessage)
{
    TCyclePacker packer;
    TCycleResult out;
    for (std::uint64_t i = 0; i < 2; ++i) {
        const TCycleResult cycle = Cycle(i);
        const TPackedCycle packed = packer.Pack(cycle);
        UnpackCycle(packed, out);
        EXPECT_EQ(CycleJson(out), CycleJson(cycle));
    }
    TCycleResult other = Cycle(2);
    other.Channels[0].MezzanineName = "U20";
    UnpackCycle(packer.Pack(other), out);
    EXPECT_EQ(CycleJson(out), CycleJson(other)) << "a changed slot takes a new shape";
}

std::vector<std::uint64_t> Drain(TCycleQueue& queue, bool markSent)
{
    std::vector<std::uint64_t> indexes;
    TPackedCycle cycle;
    std::uint64_t sequence = 0;
    while (queue.NextToSend(cycle, sequence)) {
        indexes.push_back(cycle.Index);
        if (markSent) queue.Sent(sequence);
    }
    return indexes;
}

TEST(CycleQueue, DropsExactlyTheOldestAndSendsTheRestAgainAfterALoss)
{
    TCyclePacker packer;
    TCycleQueue queue(3);
    for (std::uint64_t i = 0; i < 5; ++i) queue.Push(packer.Pack(Cycle(i)));
    EXPECT_EQ(queue.Dropped(), 2u);
    EXPECT_EQ(Drain(queue, false), (std::vector<std::uint64_t>{2, 3, 4}));

    // Cycles with the client are not dropped (nor counted) by new ones: the
    // bound is on those waiting, and a cycle is sent or dropped, never both.
    for (std::uint64_t i = 5; i < 9; ++i) queue.Push(packer.Pack(Cycle(i)));
    EXPECT_EQ(queue.Dropped(), 3u);
    EXPECT_EQ(Drain(queue, false), (std::vector<std::uint64_t>{6, 7, 8}));
    queue.SendAgain();
    for (std::uint64_t i = 2; i < 5; ++i) {
        TPackedCycle sent;
        std::uint64_t sequence = 0;
        ASSERT_TRUE(queue.NextToSend(sent, sequence));
        EXPECT_EQ(sent.Index, i);
        EXPECT_TRUE(queue.Sent(sequence));
        EXPECT_FALSE(queue.Sent(sequence)) << "counted once";
    }

    // Answers out of order: only a sent front leaves; a lost connection
    // sends again what was not answered.
    TPackedCycle cycle;
    std::uint64_t first = 0, second = 0;
    ASSERT_TRUE(queue.NextToSend(cycle, first));
    ASSERT_TRUE(queue.NextToSend(cycle, second));
    queue.Sent(second);
    EXPECT_EQ(queue.Size(), 3u);
    queue.SendAgain();
    EXPECT_EQ(Drain(queue, true), (std::vector<std::uint64_t>{6, 8}));
    EXPECT_EQ(queue.Size(), 0u);
}

} // namespace

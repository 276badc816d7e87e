#include "ant/AntMessageFramer.h"

#include "ant/AntMessageResponse.h"
#include "ant/UsbConnector.h"
#include "support/LogRecorder.h"
#include "support/SimulatedStick.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vant::ant {
namespace {

using support::Bytes;
using support::LogRecorder;
using support::SimulatedStick;

const char* const ESERIAL = "AntMessageFramer getMessage error DSI_FRAMER_ANT_ESERIAL";

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes counting(std::size_t n, unsigned char first = 0)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<unsigned char>(first + i);
    }
    return bytes;
}

Bytes withBadChecksum(Bytes frame)
{
    if (!frame.empty()) {
        frame.back() ^= 0x01;
    }
    return frame;
}

// Takes everything the framer writes; the framer needs nothing else of its connector.
class RecordingConnector : public UsbConnector
{
public:
    void run() override {}
    bool init(unsigned long) override { return true; }
    int findDeviceByIds(int, int) override { return -1; }
    bool setDeviceNumber(int) override { return true; }
    bool open() override { return true; }
    bool close(bool) override { return true; }
    bool writeBytes(void* bytes, unsigned short count) override
    {
        const unsigned char* p = static_cast<const unsigned char*>(bytes);
        writes.emplace_back(p, p + count);
        return accept;
    }

    std::vector<Bytes> writes;
    bool accept = true;
};

struct Read
{
    unsigned short max;
    unsigned short result;
    Bytes out;                 // id and payload, or the error kind (and detail)
    const char* log = nullptr; // the framer's debug line for this read, if any
};

struct ReceiveCase
{
    const char* name;
    Bytes received;
    int queued; // how many bytes ended a frame that was queued
    std::vector<Read> reads;
};

const Bytes NEXT = SimulatedStick::frame(0x4E, {0x00, 0x01, 0x02});
const Read READ_NEXT{0, 3, {0x4E, 0x00, 0x01, 0x02}};
const Read EMPTY{0, AntMessageFramer::QUEUE_EMPTY, {}};

std::vector<ReceiveCase> receiveCases()
{
    const Bytes payload41 = counting(41, 1);
    std::vector<ReceiveCase> cases = {
        {"bytes before the first sync are dropped",
         concat({{0x00, 0x55, 0xFF, 0x03}, NEXT}),
         1,
         {READ_NEXT, EMPTY}},
        {"a bad checksum is reported once, then the next message",
         concat({withBadChecksum(SimulatedStick::frame(0x4E, {0x09})), NEXT}),
         1,
         {{0, AntMessageFramer::ERROR_REPORTED, {2, 4}, ESERIAL}, READ_NEXT, EMPTY}},
        {"two bad frames before a read give one report",
         concat({withBadChecksum(NEXT), withBadChecksum(NEXT)}),
         0,
         {{0, AntMessageFramer::ERROR_REPORTED, {2, 4}, ESERIAL}, EMPTY}},
        {"an empty payload", SimulatedStick::frame(0x6F, {}), 1, {{0, 0, {0x6F}}, EMPTY}},
        {"41 payload bytes, uncapped",
         SimulatedStick::frame(0x4E, payload41),
         1,
         {{0, 41, concat({{0x4E}, payload41})}, EMPTY}},
        {"a cap of 5 cuts a 9-byte payload and consumes the entry",
         concat({SimulatedStick::frame(0x4E, counting(9, 1)), NEXT}),
         2,
         {{5, 5, {0x4E, 1, 2, 3, 4, 5}}, READ_NEXT, EMPTY}},
        {"the queue keeps arrival order",
         concat({SimulatedStick::frame(0x40, {0x01}), SimulatedStick::frame(0x41, {0x02})}),
         2,
         {{0, 1, {0x40, 0x01}}, {0, 1, {0x41, 0x02}}, EMPTY}},
    };
    // No ANT message is longer than 41 bytes: such a length is a serial error, and the bytes
    // after it are searched for the next frame, which arrives intact.
    for (unsigned int length : {42u, 100u, 164u, 252u, 255u}) {
        const Bytes frame = SimulatedStick::frame(0x5B, counting(length, 7));
        for (unsigned short max : {0, 41}) {
            cases.push_back({"a length longer than any message",
                             concat({frame, NEXT}),
                             1,
                             {{max, AntMessageFramer::ERROR_REPORTED, {2, 4}, ESERIAL}, READ_NEXT, EMPTY}});
        }
    }
    return cases;
}

TEST(AntMessageFramerTest, ReceivesFramesAsTheTableSays)
{
    for (const ReceiveCase& c : receiveCases()) {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.received.size()) + " bytes");
        LogRecorder log;
        AntMessageFramer framer(nullptr);
        int queued = 0;
        for (unsigned char b : c.received) {
            queued += framer.processByte(b) ? 1 : 0;
        }
        EXPECT_EQ(queued, c.queued);
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            SCOPED_TRACE("read " + std::to_string(i));
            const Read& read = c.reads[i];
            const std::size_t before = log.entries.size();
            Bytes out(64, 0xEE);
            EXPECT_EQ(framer.getMessage(out.data(), read.max), read.result);
            EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(read.out.size())), read.out);
            // Nothing is written past what the result accounts for.
            const std::size_t used =
                read.result < AntMessageFramer::QUEUE_EMPTY ? read.result + 1u : read.out.size();
            EXPECT_EQ(Bytes(out.begin() + static_cast<long>(used), out.end()), Bytes(64 - used, 0xEE));
            std::vector<std::string> lines;
            for (std::size_t e = before; e < log.entries.size(); ++e) {
                lines.push_back(log.entries[e].text);
            }
            if (read.log != nullptr) {
                ASSERT_EQ(lines, std::vector<std::string>{read.log});
                EXPECT_TRUE(log.has("vant.ant", rezezaz::core::Logger::DEBUG, read.log));
            } else {
                EXPECT_TRUE(lines.empty());
            }
        }
    }
}

// An id and its payload.
using Message = std::pair<unsigned char, Bytes>;

// A stream of frames some of which are damaged on the way: the damaged frames are lost, every
// other frame arrives intact and in order.
struct DamagedStream
{
    Bytes bytes;
    std::vector<Message> intact;
};

enum class Damage
{
    NONE,
    STRAY_SYNC_BEFORE, // a sync byte between the previous frame and this one
    STRAY_SYNC_INSIDE, // a sync byte inserted after the frame's id
    LOST_BYTE,         // one byte of the frame is lost
    LOST_SYNC,         // the frame's sync byte is lost
    BAD_LENGTH,        // the length byte says more than any message has
    FLIPPED_BYTE,      // one byte of the frame is changed
    TRUNCATED,         // the frame stops after its length
};

void append(DamagedStream& stream, const Message& message, Damage damage, std::size_t where)
{
    Bytes frame = SimulatedStick::frame(message.first, message.second);
    where = 1 + where % (frame.size() - 1); // any byte but the sync
    switch (damage) {
    case Damage::NONE:
        break;
    case Damage::STRAY_SYNC_BEFORE:
        stream.bytes.push_back(AntMessageFramer::SYNC);
        break;
    case Damage::STRAY_SYNC_INSIDE:
        frame.insert(frame.begin() + 3, AntMessageFramer::SYNC);
        break;
    case Damage::LOST_BYTE:
        // Without a sync byte of its payload, a frame that ends on the next frame's sync byte
        // has the very same checksum: no receiver can tell, so that loss is not made here.
        while (frame[where] == AntMessageFramer::SYNC) {
            where = 1 + where % (frame.size() - 1);
        }
        frame.erase(frame.begin() + static_cast<long>(where));
        break;
    case Damage::LOST_SYNC:
        frame.erase(frame.begin());
        break;
    case Damage::BAD_LENGTH:
        frame[1] = static_cast<unsigned char>(AntMessageFramer::MAX_PAYLOAD + 1 + where % 200);
        break;
    case Damage::FLIPPED_BYTE:
        frame[where] ^= static_cast<unsigned char>(1 + where % 255);
        break;
    case Damage::TRUNCATED:
        frame.resize(2);
        break;
    }
    stream.bytes.insert(stream.bytes.end(), frame.begin(), frame.end());
    if (damage == Damage::NONE || damage == Damage::STRAY_SYNC_BEFORE) {
        stream.intact.push_back(message);
    }
}

std::vector<Message> receiveAll(const Bytes& bytes, int* errors)
{
    AntMessageFramer framer(nullptr);
    for (unsigned char b : bytes) {
        framer.processByte(b);
    }
    std::vector<Message> received;
    unsigned char out[42];
    *errors = 0;
    for (;;) {
        const unsigned short n = framer.getMessage(out, 0);
        if (n == AntMessageFramer::QUEUE_EMPTY) {
            return received;
        }
        if (n == AntMessageFramer::ERROR_REPORTED) {
            ++*errors;
            continue;
        }
        received.push_back({out[0], Bytes(out + 1, out + 1 + n)});
    }
}

TEST(AntMessageFramerTest, ADamagedFrameCostsOnlyItselfAndTheStreamResynchronises)
{
    // Broadcasts as a meter sends them, the last one holding sync bytes in its payload.
    const std::vector<Message> messages = {
        {0x4E, {0x00, 0x10, 0x01, 0x20, 0x00, 0x40, 0x9C, 0x64, 0x00}},
        {0x4E, {0x00, 0x12, 0x02, 0x21, 0x5A, 0x80, 0x12, 0x30, 0x75}},
        {0x40, {0x00, 0x01, 0x00}},
        {0x4E, {0x00, 0xA4, 0x03, 0x51, 0x41, 0x17, 0xA4, 0x2C, 0x03}},
    };
    const Damage damages[] = {Damage::STRAY_SYNC_BEFORE, Damage::STRAY_SYNC_INSIDE, Damage::LOST_BYTE,
                              Damage::LOST_SYNC,         Damage::BAD_LENGTH,        Damage::FLIPPED_BYTE,
                              Damage::TRUNCATED};
    for (Damage damage : damages) {
        for (std::size_t damaged = 0; damaged < messages.size(); ++damaged) {
            for (std::size_t where = 0; where < 14; ++where) {
                SCOPED_TRACE("damage " + std::to_string(static_cast<int>(damage)) + " to frame " +
                             std::to_string(damaged) + " at " + std::to_string(where));
                DamagedStream stream;
                // Twenty intact frames after the damage: all of them must arrive.
                for (std::size_t i = 0; i < messages.size() + 20; ++i) {
                    const Message& m = messages[i % messages.size()];
                    append(stream, m, i == damaged ? damage : Damage::NONE, where);
                }
                int errors = 0;
                ASSERT_EQ(receiveAll(stream.bytes, &errors), stream.intact);
                if (damage != Damage::LOST_SYNC) {
                    EXPECT_GT(errors, 0); // the loss is reported, not silent
                }
            }
        }
    }
}

// Random frames with random damage. Now and then the bytes of a damaged frame happen to hold a
// frame with a good checksum, which no receiver can tell from a real one; so this asks only that
// the intact frames arrive in order and that a damage costs one intact frame at the most.
TEST(AntMessageFramerTest, RandomDamageCostsNoMoreThanTheDamagedFrames)
{
    std::mt19937 random(20261210);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        DamagedStream stream;
        int damages = 0;
        for (int i = 0; i < 400; ++i) {
            const unsigned char id = static_cast<unsigned char>(0x40 + random() % 16);
            Message m{id, Bytes(random() % (AntMessageFramer::MAX_PAYLOAD + 1))};
            for (unsigned char& b : m.second) {
                b = static_cast<unsigned char>(random());
            }
            // Damage one frame in eight, never two in a row.
            const bool damaged = i % 8 == 7 && random() % 2 == 0;
            const Damage damage = damaged ? static_cast<Damage>(1 + random() % 7) : Damage::NONE;
            const std::size_t where = random();
            append(stream, m, damage, where);
            damages += damaged && damage != Damage::STRAY_SYNC_BEFORE ? 1 : 0;
        }
        int errors = 0;
        const std::vector<Message> received = receiveAll(stream.bytes, &errors);

        // Match the received frames to the intact ones in order; a frame that matches none of the
        // next few intact ones is one the damage made up.
        std::size_t next = 0;
        int arrived = 0;
        int madeUp = 0;
        for (const Message& m : received) {
            std::size_t k = next;
            while (k < stream.intact.size() && k < next + 3 && stream.intact[k] != m) {
                ++k;
            }
            if (k < stream.intact.size() && k < next + 3) {
                ++arrived;
                next = k + 1;
            } else {
                ++madeUp;
            }
        }
        EXPECT_GE(arrived, static_cast<int>(stream.intact.size()) - damages);
        EXPECT_LE(madeUp, damages / 8);
    }
}

TEST(AntMessageFramerTest, FullQueueDropsTheFrameAndReportsItThenDrainsInOrder)
{
    for (unsigned int size : {static_cast<unsigned int>(AntMessageFramer::QUEUE_SIZE), 2u, 7u}) {
        SCOPED_TRACE("queue of " + std::to_string(size));
        AntMessageFramer framer(nullptr, size);
        auto feed = [&framer](unsigned int sequence) {
            bool queued = false;
            for (unsigned char b : SimulatedStick::frame(0x4E, {static_cast<unsigned char>(sequence >> 8),
                                                                static_cast<unsigned char>(sequence)})) {
                queued = framer.processByte(b);
            }
            return queued;
        };
        const unsigned int capacity = size - 1;
        for (unsigned int i = 0; i < capacity; ++i) {
            ASSERT_TRUE(feed(i)) << i;
        }
        EXPECT_FALSE(feed(0xFFFF));

        unsigned char out[42];
        ASSERT_EQ(framer.getMessage(out, 41), AntMessageFramer::ERROR_REPORTED);
        EXPECT_EQ(out[0], AntMessageFramer::ERROR_QUEUE_FULL);
        for (unsigned int i = 0; i < capacity; ++i) {
            ASSERT_EQ(framer.getMessage(out, 41), 2) << i;
            ASSERT_EQ(out[1] << 8 | out[2], static_cast<int>(i));
        }
        EXPECT_EQ(framer.getMessage(out, 41), AntMessageFramer::QUEUE_EMPTY);

        // The indices have wrapped; the queue goes on working.
        EXPECT_TRUE(feed(7));
        EXPECT_EQ(framer.getMessage(out, 41), 2);
        EXPECT_EQ(out[2], 7);
    }
}

TEST(AntMessageFramerTest, WritesAFrameWithTwoTrailingZerosOrRefusesALongMessage)
{
    struct Case
    {
        unsigned short length;
        bool sent;
    };
    for (const Case& c : {Case{0, true}, Case{9, true}, Case{41, true}, Case{42, false}, Case{200, false}}) {
        SCOPED_TRACE(c.length);
        RecordingConnector connector;
        AntMessageFramer framer(&connector);
        const Bytes payload = counting(c.length, 0x10);
        Bytes message = concat({{0x4F}, payload});

        EXPECT_EQ(framer.writeMessage(message.data(), c.length), c.sent);
        if (!c.sent) {
            EXPECT_TRUE(connector.writes.empty());
            continue;
        }
        ASSERT_EQ(connector.writes.size(), 1u);
        EXPECT_EQ(connector.writes[0].size(), c.length + 6u);
        EXPECT_EQ(connector.writes[0], concat({SimulatedStick::frame(0x4F, payload), {0x00, 0x00}}));
    }
}

TEST(AntMessageFramerTest, WriteReportsTheConnectorsFailure)
{
    RecordingConnector connector;
    connector.accept = false;
    AntMessageFramer framer(&connector);
    unsigned char message[] = {0x4D, 0x00, 0x51};
    EXPECT_FALSE(framer.writeMessage(message, 2));
    EXPECT_EQ(connector.writes.size(), 1u);
}

TEST(AntMessageFramerTest, ChecksumIsTheXorOfTheBytes)
{
    const unsigned char bytes[] = {0xA4, 0x03, 0x4E, 0x00, 0x01, 0x02};
    EXPECT_EQ(CheckSum_Calc8(bytes, 6), SimulatedStick::frame(0x4E, {0x00, 0x01, 0x02}).back());
    EXPECT_EQ(CheckSum_Calc8(bytes, 0), 0);
    EXPECT_EQ(CheckSum_Calc8(nullptr, 6), 0);
}

// Lets the test hang waiters on the framer's list, which the framer only reads.
class WaitingFramer : public AntMessageFramer
{
public:
    WaitingFramer() : AntMessageFramer(nullptr) {}
    void wait(AntMessageResponse* response)
    {
        response->next = mResponseList;
        mResponseList = response;
    }
    void receive(const Bytes& bytes)
    {
        for (unsigned char b : bytes) {
            processByte(b);
        }
    }
};

TEST(AntMessageFramerTest, WaitersTakeTheFirstMatchingFrameAndTheFrameIsStillQueued)
{
    WaitingFramer framer;
    AntMessageResponse reply; // a channel response (0x40) for channel 1 to message 0x42
    reply.messageId = 0x40;
    reply.matchLength = 2;
    reply.data[0] = 0x01;
    reply.data[1] = 0x42;
    AntMessageResponse any; // any broadcast
    any.messageId = 0x4E;
    framer.wait(&reply);
    framer.wait(&any);

    // A frame of another id leaves 01 42 in the buffer; a shorter frame after it must not
    // match on those left-over bytes.
    framer.receive(SimulatedStick::frame(0x41, {0x01, 0x42, 0x09}));
    framer.receive(SimulatedStick::frame(0x40, {0x01}));
    EXPECT_FALSE(reply.filled);
    framer.receive(SimulatedStick::frame(0x40, {0x02, 0x42, 0x00}));
    EXPECT_FALSE(reply.filled);
    framer.receive(SimulatedStick::frame(0x40, {0x01, 0x42, 0x00, 0x07}));
    EXPECT_TRUE(reply.filled);
    EXPECT_EQ(reply.receivedLength, 4);
    EXPECT_EQ(reply.data[2], 0x00);
    EXPECT_EQ(reply.data[3], 0x07);

    framer.receive(SimulatedStick::frame(0x4E, {0x00, 0x55}));
    framer.receive(SimulatedStick::frame(0x4E, {0x00, 0x66}));
    EXPECT_TRUE(any.filled);
    EXPECT_EQ(any.receivedLength, 2);
    EXPECT_EQ(any.data[1], 0x55); // the first match, not overwritten by the later one

    int queued = 0;
    unsigned char out[42];
    while (framer.getMessage(out, 41) != AntMessageFramer::QUEUE_EMPTY) {
        ++queued;
    }
    EXPECT_EQ(queued, 6); // waiting takes nothing off the queue
}

} // namespace
} // namespace vant::ant

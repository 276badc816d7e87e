// How fast the framer takes a recorded byte stream apart, and how often an idle USB reader
// wakes up (against the libusb stand-in; the reader waits in libusb's event handling). Before the
// framer is timed, what it made of the recording is checked against the frames that went in
// intact, so that a fast framer that drops or invents messages reports an error instead of a speed.
#include "ant/AntMessageFramer.h"
#include "ant/AntMessageIds.h"
#include "ant/UsbxConnector.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "support/LibusbStandIn.h"
#include "support/SimulatedStick.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using vant::ant::AntMessageFramer;
using vant::ant::UsbxConnector;

void quietLog()
{
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
}

// What a stick sends while a power meter broadcasts: mostly 9-byte broadcast frames, some
// channel events and bursts, now and then a corrupted frame or noise between frames. Beside the
// bytes, the frames that went in intact (id and payload), in order.
struct Recording
{
    std::vector<unsigned char> stream;
    std::vector<support::Bytes> intact;
};

Recording recordedStream(std::size_t bytes)
{
    Recording recording;
    std::vector<unsigned char>& stream = recording.stream;
    stream.reserve(bytes + 64);
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    while (stream.size() < bytes) {
        const unsigned int kind = next() % 16;
        std::vector<unsigned char> payload;
        unsigned char id = vant::ant::kBroadcastData;
        if (kind == 0) {
            id = vant::ant::kChannelResponse;
            payload = {0x00, 0x01, 0x03};
        } else if (kind == 1) {
            id = vant::ant::kBurstData;
            payload.assign(9, static_cast<unsigned char>(next()));
        } else {
            payload.push_back(0x00);
            for (int i = 0; i < 8; ++i) {
                payload.push_back(static_cast<unsigned char>(next()));
            }
        }
        support::Bytes frame = support::SimulatedStick::frame(id, payload);
        if (next() % 64 == 0) {
            frame.back() ^= 0x5A;
        } else {
            support::Bytes message{id};
            message.insert(message.end(), payload.begin(), payload.end());
            recording.intact.push_back(message);
        }
        if (next() % 128 == 0) {
            stream.push_back(static_cast<unsigned char>(next()));
        }
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return recording;
}

// Feeds the stream in slices, taking the queue empty after each slice; calls take(out, n) for
// every message (id and n payload bytes).
template <typename Take>
void frameStream(AntMessageFramer& framer, const std::vector<unsigned char>& stream, Take take)
{
    const std::size_t drainEvery = 256 * 1024; // well below the queue's capacity in frames
    unsigned char out[42];
    for (std::size_t at = 0; at < stream.size(); at += drainEvery) {
        const std::size_t end = std::min(stream.size(), at + drainEvery);
        for (std::size_t i = at; i < end; ++i) {
            framer.processByte(stream[i]);
        }
        unsigned short n;
        while ((n = framer.getMessage(out, 41)) != AntMessageFramer::QUEUE_EMPTY) {
            take(out, n);
        }
    }
}

// Every intact frame must come out, in order; bytes inside a damaged frame may by chance form a
// valid frame of their own, but no more than one in a thousand.
std::string checkFraming(const Recording& recording)
{
    AntMessageFramer framer(nullptr);
    std::size_t matched = 0;
    std::size_t extra = 0;
    frameStream(framer, recording.stream, [&](const unsigned char* out, unsigned short n) {
        if (n == AntMessageFramer::ERROR_REPORTED) {
            return;
        }
        if (matched < recording.intact.size() &&
            recording.intact[matched] == support::Bytes(out, out + 1 + n)) {
            ++matched;
        } else {
            ++extra;
        }
    });
    if (matched != recording.intact.size()) {
        return "the framer delivered " + std::to_string(matched) + " of " +
               std::to_string(recording.intact.size()) + " intact frames";
    }
    if (extra * 1000 > recording.intact.size()) {
        return "the framer invented " + std::to_string(extra) + " frames";
    }
    return "";
}

void BM_FramerThroughput(benchmark::State& state)
{
    quietLog();
    const Recording recording = recordedStream(static_cast<std::size_t>(state.range(0)));
    const std::string fault = checkFraming(recording);
    if (!fault.empty()) {
        state.SkipWithError(fault.c_str());
        return;
    }
    std::unique_ptr<AntMessageFramer> framer = std::make_unique<AntMessageFramer>(nullptr);
    for (auto _ : state) {
        frameStream(*framer, recording.stream, [](const unsigned char*, unsigned short) {});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(recording.stream.size()));
}
BENCHMARK(BM_FramerThroughput)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

void BM_ReaderIdleWakeUps(benchmark::State& state)
{
    quietLog();
    support::LibusbStandIn& usb = support::LibusbStandIn::instance();
    usb.reset();
    usb.addDevice(0x0FCF, 0x1008);
    UsbxConnector connector;
    AntMessageFramer framer(&connector);
    connector.init(57600);
    connector.setDeviceNumber(connector.findDeviceByIds(0x0FCF, 0x1008));
    connector.setAntFramer(&framer);
    if (!connector.open()) {
        state.SkipWithError("the connector did not open on the stand-in");
        return;
    }
    const char* const handleEvents = "libusb_handle_events_timeout_completed";
    double wakeUps = 0;
    double seconds = 0;
    for (auto _ : state) {
        const int before = usb.calls(handleEvents);
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wakeUps += usb.calls(handleEvents) - before;
    }
    connector.close(false);
    state.counters["wakeups_per_s"] = wakeUps / seconds;
}
BENCHMARK(BM_ReaderIdleWakeUps)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

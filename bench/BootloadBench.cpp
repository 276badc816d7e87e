// How long a firmware upload takes in the meter's own time: the simulated seconds and the manager
// updates (ticks of the main window's 33 ms pump) from bootloadData to bootloadFinished, per image
// and per section, against the simulated stick and the simulated meter's bootloader. The wall time
// that Google Benchmark reports is only the simulation's cost. A run counts only when the meter's
// flash holds what the image should leave there.
#include "ant/AntRadioManager.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/search/SportDeviceSearch.h"
#include "ant/search/SportDeviceSearchListener.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedStickRadio.h"
#include "support/UploadRecorder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using vant::device::VelonixPowerMeterDevice;

constexpr int kTick = 33;
constexpr int kMeter = 1001;
constexpr int kImageSize = 0x10000;
constexpr int kApplicationStart = 0x8000;
constexpr int kBlock = 64;

class SearchEnd : public vant::search::SportDeviceSearchListener
{
public:
    void deviceFound(int, int) override { found = true; }
    void searchFinished(bool) override { ended = true; }
    bool found = false;
    bool ended = false;
};

struct Image
{
    Bytes bytes;
    int bootloaderStart;
};

// Every byte of the 32 KB above 0x8000 holds code, up to the image's end.
Image fullImage()
{
    Image image{Bytes(kImageSize, 0xFF), kImageSize};
    std::mt19937 random(1);
    for (int at = kApplicationStart; at < kImageSize; ++at) {
        image.bytes[static_cast<size_t>(at)] = static_cast<unsigned char>(random() & 0x7F);
    }
    return image;
}

// A 16 KB application area (bootloader at 0xC000) with code in one 64-byte block of every four, so
// that no two blocks join into one section.
Image sparseImage()
{
    Image image{Bytes(kImageSize, 0xFF), 0xC000};
    std::mt19937 random(2);
    for (int block = kApplicationStart; block < image.bootloaderStart; block += 4 * kBlock) {
        for (int at = block; at < block + kBlock; ++at) {
            image.bytes[static_cast<size_t>(at)] = static_cast<unsigned char>(random() & 0x7F);
        }
    }
    for (int at = kImageSize - 32; at < kImageSize; ++at) {
        image.bytes[static_cast<size_t>(at)] = static_cast<unsigned char>(at);
    }
    return image;
}

// One upload: the manager updates from bootloadData to bootloadFinished, and its sections, counted as
// the bursts that reached the meter (none fails here).
struct Run
{
    long updates = 0;
    long sections = 0;
    bool succeeded = false;
    bool flashMatches = false;
};

Run upload(const Image& image)
{
    IntrusivePointer<support::SimulatedStickRadio> radio = new support::SimulatedStickRadio();
    IntrusivePointer<vant::ant::AntRadioManager> manager =
        new vant::ant::AntRadioManager(radio.get(), nullptr);
    manager->create();
    support::SimulatedPowerMeter& meter = radio->addMeter(kMeter);
    support::SimulatedMeterFirmware firmware(meter);
    firmware.bootloader.startAddress = image.bootloaderStart;
    firmware.enterBootloader();

    const auto runUntil = [&](const std::function<bool()>& done, long limit) {
        long updates = 0;
        while (!done() && updates < limit) {
            manager->update(kTick);
            ++updates;
        }
        return updates;
    };

    SearchEnd search;
    IntrusivePointer<vant::search::SportDeviceSearch> searching =
        new vant::search::SportDeviceSearch(manager.get());
    searching->addSportDeviceSearchListener(&search);
    searching->search(6, kMeter, 11, 3136, 70, 0, false);
    runUntil([&] { return search.ended; }, 1000);
    searching->destroy();

    Run run;
    if (search.found) {
        support::UploadRecorder outcome;
        IntrusivePointer<VelonixPowerMeterDevice> device =
            new VelonixPowerMeterDevice(kMeter, manager.get(), 0, true);
        device->addPowerMeterDeviceListener(&outcome);
        // The bootloader's first page, as the firmware page waits for it.
        runUntil([&] { return device->getManufacturerVersion() != 0; }, 1000);
        Bytes bytes = image.bytes;
        device->bootloadData(0, image.bootloaderStart, bytes.data());
        run.updates = runUntil([&] { return !outcome.finished.empty(); }, 1000000);
        run.succeeded = !outcome.finished.empty() && outcome.finished.back();
        run.sections = static_cast<long>(meter.burstsReceived().size());
        const Bytes expected =
            support::SimulatedMeterFirmware::applicationAreaAfterUpload(image.bytes, image.bootloaderStart);
        run.flashMatches =
            std::equal(expected.begin(), expected.end(), firmware.flash().begin() + kApplicationStart);
        device->destroy();
    }
    manager->destroy();
    return run;
}

void measure(benchmark::State& state, const Image& image)
{
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
    Run run;
    for (auto _ : state) {
        run = upload(image);
    }
    if (!run.succeeded || run.sections == 0) {
        state.SkipWithError("the upload did not succeed");
        return;
    }
    if (!run.flashMatches) {
        state.SkipWithError("the meter's flash does not hold the image");
        return;
    }
    state.counters["sections"] = static_cast<double>(run.sections);
    state.counters["updates"] = static_cast<double>(run.updates);
    state.counters["simulated_s"] = run.updates * kTick / 1000.0;
    state.counters["updates_per_section"] =
        static_cast<double>(run.updates) / static_cast<double>(run.sections);
    state.counters["simulated_ms_per_section"] =
        static_cast<double>(run.updates * kTick) / static_cast<double>(run.sections);
}

void BM_UploadFull32K(benchmark::State& state)
{
    measure(state, fullImage());
}
BENCHMARK(BM_UploadFull32K)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_UploadSparse16K(benchmark::State& state)
{
    measure(state, sparseImage());
}
BENCHMARK(BM_UploadSparse16K)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

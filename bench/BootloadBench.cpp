// How long a firmware upload takes in the meter's own time: the simulated seconds and the manager
// updates (ticks of the main window's 33 ms pump) from bootloadData to bootloadFinished, per image
// and per section, against the simulated stick and the simulated meter's bootloader. The wall time
// that Google Benchmark reports is only the simulation's cost. A run counts only when the meter's
// flash holds what the image should leave there. Against two floors: x_limit against the protocol's
// (a slot of the bootloader's channel, 95.7 ms, a section and two more) and x_ticks against the
// pump's (each slot rounded up to 3 whole ticks, 99 ms).
#include "SimulatedUpload.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/UploadRecorder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using uploadbench::kTick;
using vant::device::VelonixPowerMeterDevice;

constexpr int kApplicationStart = 0x8000;

struct Image
{
    Bytes bytes;
    int bootloaderStart;
};

// Code in the whole 32 KB above 0x8000, up to the image's end.
Image fullImage()
{
    return {uploadbench::fullImage(), 0x10000};
}

// A 16 KB application area (bootloader at 0xC000) with code in one 64-byte block of every four.
Image sparseImage()
{
    return {uploadbench::sparseImage(), 0xC000};
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
    uploadbench::BootloaderMeter bootloader(image.bootloaderStart);

    Run run;
    if (bootloader.find()) {
        support::UploadRecorder outcome;
        IntrusivePointer<VelonixPowerMeterDevice> device =
            new VelonixPowerMeterDevice(uploadbench::kMeter, bootloader.manager.get(), 0, true);
        device->addPowerMeterDeviceListener(&outcome);
        // The bootloader's first page, as the firmware page waits for it.
        bootloader.runUntil([&] { return device->getManufacturerVersion() != 0; }, 1000);
        Bytes bytes = image.bytes;
        device->bootloadData(0, image.bootloaderStart, bytes.data());
        run.updates = bootloader.runUntil([&] { return !outcome.finished.empty(); }, 1000000);
        run.succeeded = !outcome.finished.empty() && outcome.finished.back();
        run.sections = static_cast<long>(bootloader.meter.burstsReceived().size());
        const Bytes expected =
            support::SimulatedMeterFirmware::applicationAreaAfterUpload(image.bytes, image.bootloaderStart);
        run.flashMatches =
            std::equal(expected.begin(), expected.end(), bootloader.firmware.flash().begin() + kApplicationStart);
        device->destroy();
    }
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
    const double simulatedMs = static_cast<double>(run.updates * kTick);
    state.counters["slot_floor_s"] = uploadbench::slotFloorMs(run.sections) / 1000.0;
    state.counters["x_limit"] = simulatedMs / uploadbench::slotFloorMs(run.sections);
    state.counters["tick_floor_s"] = uploadbench::tickFloorMs(run.sections) / 1000.0;
    state.counters["x_ticks"] = simulatedMs / uploadbench::tickFloorMs(run.sections);
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

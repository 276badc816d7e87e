// Two measures of the firmware update.
//
// 1. The whole update through the firmware page, in the meter's own time: from the press of "Update
//    Firmware" (image file decoded, upload started) to the page's end of the upload, for a full and a
//    sparse image, against the simulated stick and the simulated meter's bootloader, pumped as the
//    main window pumps (update(33), 33 ms of the stick's time each). Against two floors: x_limit
//    against the protocol's (every section starts with an acknowledged positioning message, which
//    goes out only in a slot of the bootloader's channel, 3136/32768 s, 95.7 ms; the erase and the
//    final CRC page add a slot each), and x_ticks against the pump's (the host learns that the message
//    went out only at its next pump tick, so a slot takes 3 whole ticks, 99 ms). The wall time Google
//    Benchmark reports is only the simulation's cost.
// 2. The decode of one image file (uudecode and inflate) in MB of image per second, beside the same
//    gzip payload inflated by zlib alone and by the "gzip -d" program, each checked for the same image
//    first.
#include "SimulatedUpload.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "firmware/Firmware.h"
#include "firmware/FirmwareImageFile.h"
#include "support/FirmwareImageWriter.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedStickRadio.h"
#include "support/TemporaryFolder.h"
#include "support/UploadRecorder.h"

#include <QApplication>
#include <QBuffer>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using support::FirmwareImageWriter;
using uploadbench::fullImage;
using uploadbench::kMeter;
using uploadbench::kTick;
using uploadbench::sparseImage;


QApplication& application()
{
    static int argc = 1;
    static char name[] = "FirmwareUpdateBench";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *instance;
}

void flush()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct Run
{
    long updates = 0;
    long sections = 0;
    bool succeeded = false;
};

// One update through the page, from the button to the end of the upload.
Run updateThroughThePage(const Bytes& image, int bootloaderStart)
{
    application();
    support::TemporaryFolder folder;
    uploadbench::BootloaderMeter bootloader(bootloaderStart, flush);

    Run run;
    if (bootloader.find()) {
        // A window without a stick, whose reports go to a closed port on this machine.
        auto window = std::make_unique<Pelotune>(
            [](int, int, int) {
                auto* none = new support::SimulatedStickRadio();
                none->unplug();
                return none;
            },
            QString::fromStdString(folder.path()), [](int) {});
        window->setFirmwareServer(QUrl("https://127.0.0.1:1"));
        window->show();
        IntrusivePointer<vant::device::VelonixPowerMeterDevice> device =
            new vant::device::VelonixPowerMeterDevice(kMeter, bootloader.manager.get(), 0, true);
        support::UploadRecorder outcome;
        device->addPowerMeterDeviceListener(&outcome);
        auto* page = new Firmware(device.get(), window.get(), true);
        window->addStackedWidget(page);
        flush();
        bootloader.runUntil([&] { return device->getManufacturerVersion() != 0; }, 1000);

        FirmwareImageWriter::Header header;
        header.version = "31";
        support::writeFile(folder.file("firmware/release31.pmimg"), FirmwareImageWriter::file(header, image));
        page->setFirmware("release31.pmimg", 31, false);
        page->uploadFirmware();
        run.updates = bootloader.runUntil([&] { return !outcome.finished.empty(); }, 1000000);
        run.succeeded = !outcome.finished.empty() && outcome.finished.back();
        run.sections = static_cast<long>(bootloader.meter.burstsReceived().size());
        device->removePowerMeterDeviceListener(&outcome);
        window.reset();
        flush();
        device->destroy();
    }
    return run;
}

void measureUpdate(benchmark::State& state, const Bytes& image, int bootloaderStart)
{
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
    Run run;
    for (auto _ : state) {
        run = updateThroughThePage(image, bootloaderStart);
    }
    if (!run.succeeded || run.sections == 0) {
        state.SkipWithError("the update did not succeed");
        return;
    }
    const double simulatedMs = static_cast<double>(run.updates * kTick);
    const double slotMs = uploadbench::slotFloorMs(run.sections);
    const double ticksMs = uploadbench::tickFloorMs(run.sections);
    state.counters["sections"] = static_cast<double>(run.sections);
    state.counters["pump_updates"] = static_cast<double>(run.updates);
    state.counters["simulated_s"] = simulatedMs / 1000.0;
    state.counters["slot_floor_s"] = slotMs / 1000.0;
    state.counters["x_limit"] = simulatedMs / slotMs;
    state.counters["tick_floor_s"] = ticksMs / 1000.0;
    state.counters["x_ticks"] = simulatedMs / ticksMs;
    state.counters["simulated_ms_per_section"] = simulatedMs / static_cast<double>(run.sections);
}

void BM_UpdateThroughThePageFull32K(benchmark::State& state)
{
    measureUpdate(state, fullImage(), 0xFF00);
}
BENCHMARK(BM_UpdateThroughThePageFull32K)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_UpdateThroughThePageSparse16K(benchmark::State& state)
{
    measureUpdate(state, sparseImage(), 0xC000);
}
BENCHMARK(BM_UpdateThroughThePageSparse16K)->Unit(benchmark::kMillisecond)->Iterations(2);

// ---- Decode ----

const Bytes& decodeImage()
{
    static const Bytes image = FirmwareImageWriter::image(3);
    return image;
}

QByteArray expected()
{
    return QByteArray(reinterpret_cast<const char*>(decodeImage().data()),
                      static_cast<qsizetype>(decodeImage().size()));
}

std::string gzipPayload()
{
    return FirmwareImageWriter::compress(decodeImage(), FirmwareImageWriter::Compression::Gzip);
}

void BM_DecodeImageFile(benchmark::State& state)
{
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
    FirmwareImageWriter::Header header;
    QByteArray file =
        QByteArray::fromStdString(FirmwareImageWriter::headerLines(header) + "begin 644 firmware.bin\n" +
                                  FirmwareImageWriter::uuencode(gzipPayload()) + "`\nend\n");
    QByteArray image;
    {
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        if (!FirmwareImageFile::decode(buffer, image) || image != expected()) {
            state.SkipWithError("the decoder gave another image");
            return;
        }
    }
    for (auto _ : state) {
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        FirmwareImageFile::decode(buffer, image);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * image.size());
    state.counters["file_bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_DecodeImageFile);

// The same gzip payload, inflated by zlib alone: what is left once the uudecode is taken away.
void BM_ZlibInflateSamePayload(benchmark::State& state)
{
    const std::string payload = gzipPayload();
    std::vector<unsigned char> out(0x10000 + 1024);
    const auto inflateOnce = [&]() -> size_t {
        z_stream stream = {};
        inflateInit2(&stream, 47);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(payload.data()));
        stream.avail_in = static_cast<uInt>(payload.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        inflate(&stream, Z_FINISH);
        const size_t produced = stream.total_out;
        inflateEnd(&stream);
        return produced;
    };
    if (inflateOnce() != 0x10000 || !std::equal(decodeImage().begin(), decodeImage().end(), out.begin())) {
        state.SkipWithError("zlib gave another image");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(inflateOnce());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 0x10000);
}
BENCHMARK(BM_ZlibInflateSamePayload);

// "gzip -d" on the same payload, the program started for each run as a user would start it.
void BM_GzipProgramSamePayload(benchmark::State& state)
{
    support::TemporaryFolder folder;
    const std::string path = folder.file("payload.gz");
    support::writeFile(path, gzipPayload());
    const std::string command = "gzip -dc '" + path + "'";
    const auto runOnce = [&]() -> std::string {
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return output;
        }
        char chunk[8192];
        size_t read = 0;
        while ((read = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
            output.append(chunk, read);
        }
        pclose(pipe);
        return output;
    };
    if (QByteArray::fromStdString(runOnce()) != expected()) {
        state.SkipWithError("gzip -d gave another image");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(runOnce());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 0x10000);
}
BENCHMARK(BM_GzipProgramSamePayload)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

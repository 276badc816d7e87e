#pragma once

#include "ant/UsbConnector.h"

#include <mutex>

namespace vant::ant {

// The connector over libusb 1.0. Writes are synchronous bulk transfers on the caller's thread;
// the reader thread keeps one bulk IN transfer in flight and waits for it in libusb's event
// handling with a bounded time-out, so a quiet stick costs a few wake-ups a second.
class UsbxConnector : public UsbConnector
{
public:
    static constexpr unsigned char OUT_ENDPOINT = 0x01;
    static constexpr unsigned char IN_ENDPOINT = 0x81;
    static constexpr unsigned int TRANSFER_TIMEOUT_MS = 3000;
    static constexpr int EVENT_WAIT_MS = 100;
    static constexpr int READ_BUFFER_SIZE = 4096;

    UsbxConnector();
    ~UsbxConnector() override;

    void run() override;
    bool init(unsigned long value) override;
    int findDeviceByIds(int vendor, int product) override;
    bool setDeviceNumber(int number) override;
    bool open() override;
    bool close(bool reset) override;
    bool writeBytes(void* bytes, unsigned short count) override;

    static void LIBUSB_CALL transferCallback(libusb_transfer* transfer);

private:
    void cancelTransferInFlight();

    libusb_context* mContext;
    // True from a successful start of the reader until close has joined it.
    bool mReaderStarted;
    // The reader's transfer while it is submitted, so that close can cancel it.
    std::mutex mTransferMutex;
    libusb_transfer* mTransferInFlight;
};

} // namespace vant::ant

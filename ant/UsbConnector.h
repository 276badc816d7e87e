#pragma once

#include "core/IntrusivePointer.h"
#include "core/PosixThread.h"
#include "core/Runnable.h"

#include <atomic>
#include <libusb.h>

namespace vant::ant {

class AntMessageFramer;

// The USB transport under the framer: writes frames to the stick and, on a reader thread of
// its own (the connector is that thread's Runnable), feeds every received byte to the framer.
// The radio owns the connector and gives it its framer.
class UsbConnector : public rezezaz::core::Runnable
{
public:
    UsbConnector();
    ~UsbConnector() override;

    UsbConnector(const UsbConnector&) = delete;
    UsbConnector& operator=(const UsbConnector&) = delete;

    void run() override = 0;
    virtual bool init(unsigned long value) = 0;
    // Index of the first matching device in the USB library's device list, or -1.
    virtual int findDeviceByIds(int vendor, int product) = 0;
    virtual bool setDeviceNumber(int number) = 0;
    virtual bool open() = 0;
    virtual bool close(bool reset) = 0;
    virtual bool writeBytes(void* bytes, unsigned short count) = 0;

    void setAntFramer(AntMessageFramer* framer) { mFramer = framer; }
    AntMessageFramer* getAntFramer() const { return mFramer; }

    // The libusb error that made the last findDeviceByIds miss a matching device it could not open,
    // or the last open fail; LIBUSB_SUCCESS when neither did. The radio names it in its log.
    int getLastError() const { return mLastError; }

    // The reader thread, null until opened; the radio reads its running state.
    rezezaz::core::PosixThread* getThread() const { return mThread.get(); }

protected:
    rezezaz::core::IntrusivePointer<rezezaz::core::PosixThread> mThread;
    // Set by close, by a failed transfer or by failed event handling; read by the reader.
    std::atomic<bool> mStop;
    AntMessageFramer* mFramer;
    unsigned long mInitValue;
    libusb_device_handle* mDeviceHandle;
    int mDeviceNumber;
    int mLastError;
};

} // namespace vant::ant

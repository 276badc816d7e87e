#pragma once

#include "support/SimulatedStick.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace support {

// Stands in for libusb 1.0 in the tests: the libusb functions that the connector calls are
// defined here with C linkage against the real libusb.h, over a list of simulated devices.
// Asynchronous transfers complete inside libusb_handle_events_timeout_completed on the thread
// that calls it, as with the real library. It counts every call, checks that every context,
// handle, device list and transfer is given back, and can make the calls fail.
// One process-wide instance; reset() it at the start of each test.
class LibusbStandIn
{
public:
    static LibusbStandIn& instance();

    // Forgets devices, failures, counts and records. Nothing may be open.
    void reset();

    SimulatedStick& addDevice(int vendor, int product);

    // Failures of calls that belong to no device: 0 for success or a LIBUSB_ERROR code.
    void failInit(int error);
    void failAllocTransfer(bool fail);
    void failSubmit(int error);
    // The next `times` calls of libusb_handle_events_timeout_completed return `error`.
    void failHandleEvents(int error, int times);

    // How often the named libusb function was called.
    int calls(const std::string& function) const;
    // Empty when every init, open, device list and transfer has been given back and nothing
    // was misused; otherwise what is left over or went wrong.
    std::string unbalanced() const;
    // Asynchronous transfers submitted and not yet completed.
    int transfersInFlight() const;
    // How many asynchronous transfers ended with the given libusb_transfer_status.
    int completions(int status) const;
    // The options set with libusb_set_option, in order.
    std::vector<int> options() const;

private:
    friend class SimulatedStick;
    friend struct LibusbStandInAccess;

    struct Pending
    {
        libusb_transfer* transfer;
        std::chrono::steady_clock::time_point deadline;
        bool cancelled;
    };

    LibusbStandIn() = default;
    void countLocked(const char* function);

    mutable std::mutex mMutex;
    std::condition_variable mChanged;

    std::vector<std::unique_ptr<SimulatedStick>> mSticks;
    std::vector<std::unique_ptr<libusb_device>> mDevices;

    int mInitError = 0;
    bool mAllocFails = false;
    int mSubmitError = 0;
    int mHandleEventsError = 0;
    int mHandleEventsFailures = 0;
    std::vector<int> mOptions;

    std::map<std::string, int> mCalls;
    std::map<int, int> mCompletions;
    std::vector<libusb_context*> mContexts;
    std::vector<libusb_device_handle*> mHandles;
    std::vector<libusb_transfer*> mTransfers;
    int mDeviceLists = 0;
    std::vector<Pending> mPending;
    std::vector<std::string> mMisuse;
};

} // namespace support

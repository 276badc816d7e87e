#include "support/LibusbStandIn.h"

#include <libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

struct libusb_context
{
    int unused;
};

struct libusb_device
{
    support::SimulatedStick* stick;
    int references;
};

struct libusb_device_handle
{
    libusb_device* device;
    bool claimed;
};

namespace support {

namespace {

using Clock = std::chrono::steady_clock;

template <class T> bool removeFrom(std::vector<T>& items, const T& item)
{
    auto it = std::find(items.begin(), items.end(), item);
    if (it == items.end()) {
        return false;
    }
    items.erase(it);
    return true;
}

template <class T> bool contains(const std::vector<T>& items, const T& item)
{
    return std::find(items.begin(), items.end(), item) != items.end();
}

} // namespace

LibusbStandIn& LibusbStandIn::instance()
{
    static LibusbStandIn standIn;
    return standIn;
}

void LibusbStandIn::reset()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSticks.clear();
    mDevices.clear();
    mInitError = 0;
    mAllocFails = false;
    mSubmitError = 0;
    mHandleEventsError = 0;
    mHandleEventsFailures = 0;
    mOptions.clear();
    mCalls.clear();
    mCompletions.clear();
    mContexts.clear();
    mHandles.clear();
    mTransfers.clear();
    mDeviceLists = 0;
    mPending.clear();
    mMisuse.clear();
}

SimulatedStick& LibusbStandIn::addDevice(int vendor, int product)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSticks.push_back(std::make_unique<SimulatedStick>(*this, vendor, product));
    mDevices.push_back(std::make_unique<libusb_device>(libusb_device{mSticks.back().get(), 0}));
    return *mSticks.back();
}

void LibusbStandIn::failInit(int error)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mInitError = error;
}

void LibusbStandIn::failAllocTransfer(bool fail)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mAllocFails = fail;
}

void LibusbStandIn::failSubmit(int error)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSubmitError = error;
}

void LibusbStandIn::failHandleEvents(int error, int times)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mHandleEventsError = error;
    mHandleEventsFailures = times;
}

int LibusbStandIn::calls(const std::string& function) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mCalls.find(function);
    return it == mCalls.end() ? 0 : it->second;
}

std::string LibusbStandIn::unbalanced() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    std::string text;
    auto add = [&text](const std::string& line) { text += (text.empty() ? "" : "; ") + line; };
    if (!mContexts.empty()) {
        add(std::to_string(mContexts.size()) + " context(s) not ended");
    }
    if (!mHandles.empty()) {
        add(std::to_string(mHandles.size()) + " device handle(s) not closed");
    }
    if (mDeviceLists != 0) {
        add(std::to_string(mDeviceLists) + " device list(s) not freed");
    }
    if (!mTransfers.empty()) {
        add(std::to_string(mTransfers.size()) + " transfer(s) not freed");
    }
    for (const auto& device : mDevices) {
        if (device->references != 0) {
            add("a device keeps " + std::to_string(device->references) + " reference(s)");
        }
    }
    for (const std::string& misuse : mMisuse) {
        add(misuse);
    }
    return text;
}

int LibusbStandIn::transfersInFlight() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(mPending.size());
}

int LibusbStandIn::completions(int status) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mCompletions.find(status);
    return it == mCompletions.end() ? 0 : it->second;
}

std::vector<int> LibusbStandIn::options() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mOptions;
}

void LibusbStandIn::countLocked(const char* function)
{
    ++mCalls[function];
}

// The libusb functions reach the stand-in's state through here.
struct LibusbStandInAccess
{
    using Pending = LibusbStandIn::Pending;

    static LibusbStandIn& s() { return LibusbStandIn::instance(); }

    static int init(libusb_context** context)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_init");
        if (s().mInitError != 0) {
            return s().mInitError;
        }
        if (context == nullptr) {
            s().mMisuse.push_back("the default context is not simulated");
            return LIBUSB_ERROR_NOT_SUPPORTED;
        }
        *context = new libusb_context{0};
        s().mContexts.push_back(*context);
        return LIBUSB_SUCCESS;
    }

    static void exit(libusb_context* context)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_exit");
        if (!removeFrom(s().mContexts, context)) {
            s().mMisuse.push_back("libusb_exit of a context that is not initialised");
            return;
        }
        if (!s().mHandles.empty()) {
            s().mMisuse.push_back("libusb_exit with a device still open");
        }
        if (!s().mPending.empty()) {
            s().mMisuse.push_back("libusb_exit with a transfer in flight");
        }
        delete context;
    }

    static void setOption(libusb_context* context, int option)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_set_option");
        if (!contains(s().mContexts, context)) {
            s().mMisuse.push_back("libusb_set_option on a context that is not initialised");
        }
        s().mOptions.push_back(option);
    }

    static ssize_t getDeviceList(libusb_context* context, libusb_device*** list)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_get_device_list");
        if (!contains(s().mContexts, context)) {
            s().mMisuse.push_back("libusb_get_device_list on a context that is not initialised");
        }
        std::vector<libusb_device*> present;
        for (const auto& device : s().mDevices) {
            if (!device->stick->mUnplugged) {
                present.push_back(device.get());
            }
        }
        libusb_device** array = new libusb_device*[present.size() + 1];
        for (std::size_t i = 0; i < present.size(); ++i) {
            array[i] = present[i];
            ++present[i]->references;
        }
        array[present.size()] = nullptr;
        *list = array;
        ++s().mDeviceLists;
        return static_cast<ssize_t>(present.size());
    }

    static void freeDeviceList(libusb_device** list, int unreference)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_free_device_list");
        if (list == nullptr) {
            return;
        }
        if (unreference) {
            for (libusb_device** d = list; *d != nullptr; ++d) {
                --(*d)->references;
            }
        }
        --s().mDeviceLists;
        delete[] list;
    }

    static int open(libusb_device* device, libusb_device_handle** handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_open");
        if (device->stick->mUnplugged) {
            return LIBUSB_ERROR_NO_DEVICE;
        }
        if (device->stick->openError != 0) {
            return device->stick->openError;
        }
        *handle = new libusb_device_handle{device, false};
        ++device->references;
        s().mHandles.push_back(*handle);
        return LIBUSB_SUCCESS;
    }

    static void close(libusb_device_handle* handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_close");
        if (!removeFrom(s().mHandles, handle)) {
            s().mMisuse.push_back("libusb_close of a handle that is not open");
            return;
        }
        for (const Pending& p : s().mPending) {
            if (p.transfer->dev_handle == handle) {
                s().mMisuse.push_back("libusb_close with a transfer in flight");
            }
        }
        --handle->device->references;
        delete handle;
    }

    static int descriptor(libusb_device* device, libusb_device_descriptor* out)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_get_device_descriptor");
        if (device->stick->descriptorError != 0) {
            return device->stick->descriptorError;
        }
        std::memset(out, 0, sizeof *out);
        out->bLength = LIBUSB_DT_DEVICE_SIZE;
        out->bDescriptorType = LIBUSB_DT_DEVICE;
        out->idVendor = static_cast<uint16_t>(device->stick->vendor());
        out->idProduct = static_cast<uint16_t>(device->stick->product());
        out->bNumConfigurations = 1;
        return LIBUSB_SUCCESS;
    }

    // Counts the call and checks the handle; the device's stick when it can go on, else null
    // with *result set to the error to return.
    static SimulatedStick* deviceCall(const char* function, libusb_device_handle* handle, int* result)
    {
        s().countLocked(function);
        if (!contains(s().mHandles, handle)) {
            s().mMisuse.push_back(std::string(function) + " on a handle that is not open");
            *result = LIBUSB_ERROR_INVALID_PARAM;
            return nullptr;
        }
        if (handle->device->stick->mUnplugged) {
            *result = LIBUSB_ERROR_NO_DEVICE;
            return nullptr;
        }
        *result = LIBUSB_SUCCESS;
        return handle->device->stick;
    }

    static int kernelDriverActive(libusb_device_handle* handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        int result;
        SimulatedStick* stick = deviceCall("libusb_kernel_driver_active", handle, &result);
        return stick ? stick->kernelDriverActive : result;
    }

    static int detachKernelDriver(libusb_device_handle* handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        int result;
        SimulatedStick* stick = deviceCall("libusb_detach_kernel_driver", handle, &result);
        if (stick == nullptr) {
            return result;
        }
        if (stick->detachError != 0) {
            return stick->detachError;
        }
        stick->kernelDriverActive = 0;
        return LIBUSB_SUCCESS;
    }

    static int claim(libusb_device_handle* handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        int result;
        SimulatedStick* stick = deviceCall("libusb_claim_interface", handle, &result);
        if (stick == nullptr) {
            return result;
        }
        if (stick->claimError != 0) {
            return stick->claimError;
        }
        handle->claimed = true;
        return LIBUSB_SUCCESS;
    }

    static int release(libusb_device_handle* handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        int result;
        SimulatedStick* stick = deviceCall("libusb_release_interface", handle, &result);
        if (stick == nullptr) {
            return result;
        }
        if (!handle->claimed) {
            return LIBUSB_ERROR_NOT_FOUND;
        }
        handle->claimed = false;
        return LIBUSB_SUCCESS;
    }

    static int resetDevice(libusb_device_handle* handle)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        int result;
        deviceCall("libusb_reset_device", handle, &result);
        return result;
    }

    static int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                            int length, int* transferred)
    {
        std::vector<SimulatedStick::Message> messages;
        std::vector<StickMessageHandler*> handlers;
        SimulatedStick* stick;
        {
            std::lock_guard<std::mutex> lock(s().mMutex);
            int result;
            stick = deviceCall("libusb_bulk_transfer", handle, &result);
            if (transferred != nullptr) {
                *transferred = 0;
            }
            if (stick == nullptr) {
                return result;
            }
            if (endpoint & LIBUSB_ENDPOINT_IN) {
                return LIBUSB_ERROR_NOT_SUPPORTED;
            }
            if (stick->writeError != 0) {
                return stick->writeError;
            }
            messages = stick->parseWrittenLocked(Bytes(data, data + length));
            handlers = stick->mHandlers;
            if (transferred != nullptr) {
                *transferred = length;
            }
        }
        // Handlers answer through the stick, which takes the lock again.
        for (const SimulatedStick::Message& message : messages) {
            for (StickMessageHandler* handler : handlers) {
                handler->messageReceived(*stick, message.id, message.payload);
            }
        }
        return LIBUSB_SUCCESS;
    }

    static libusb_transfer* allocTransfer(int isoPackets)
    {
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_alloc_transfer");
        if (s().mAllocFails) {
            return nullptr;
        }
        const std::size_t size = sizeof(libusb_transfer) +
                                 static_cast<std::size_t>(isoPackets) * sizeof(libusb_iso_packet_descriptor);
        libusb_transfer* transfer = static_cast<libusb_transfer*>(std::calloc(1, size));
        s().mTransfers.push_back(transfer);
        return transfer;
    }

    static int submit(libusb_transfer* transfer)
    {
        {
            std::lock_guard<std::mutex> lock(s().mMutex);
            s().countLocked("libusb_submit_transfer");
            if (!contains(s().mTransfers, transfer)) {
                s().mMisuse.push_back("libusb_submit_transfer of a transfer that was not allocated");
                return LIBUSB_ERROR_INVALID_PARAM;
            }
            for (const Pending& p : s().mPending) {
                if (p.transfer == transfer) {
                    return LIBUSB_ERROR_BUSY;
                }
            }
            if (s().mSubmitError != 0) {
                return s().mSubmitError;
            }
            if (!contains(s().mHandles, transfer->dev_handle)) {
                s().mMisuse.push_back("libusb_submit_transfer on a handle that is not open");
                return LIBUSB_ERROR_INVALID_PARAM;
            }
            if (transfer->dev_handle->device->stick->mUnplugged) {
                return LIBUSB_ERROR_NO_DEVICE;
            }
            Clock::time_point deadline = Clock::time_point::max();
            if (transfer->timeout != 0) {
                deadline = Clock::now() + std::chrono::milliseconds(transfer->timeout);
            }
            s().mPending.push_back({transfer, deadline, false});
        }
        s().mChanged.notify_all();
        return LIBUSB_SUCCESS;
    }

    static int cancel(libusb_transfer* transfer)
    {
        {
            std::lock_guard<std::mutex> lock(s().mMutex);
            s().countLocked("libusb_cancel_transfer");
            auto it = std::find_if(s().mPending.begin(), s().mPending.end(),
                                   [transfer](const Pending& p) { return p.transfer == transfer; });
            if (it == s().mPending.end() || it->cancelled) {
                return LIBUSB_ERROR_NOT_FOUND;
            }
            it->cancelled = true;
        }
        s().mChanged.notify_all();
        return LIBUSB_SUCCESS;
    }

    static void freeTransfer(libusb_transfer* transfer)
    {
        if (transfer == nullptr) {
            return;
        }
        std::lock_guard<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_free_transfer");
        auto pending = std::find_if(s().mPending.begin(), s().mPending.end(),
                                    [transfer](const Pending& p) { return p.transfer == transfer; });
        if (pending != s().mPending.end()) {
            // Freeing a submitted transfer is undefined in libusb: record it and keep the memory.
            s().mMisuse.push_back("libusb_free_transfer of a transfer in flight");
            return;
        }
        if (!removeFrom(s().mTransfers, transfer)) {
            s().mMisuse.push_back("libusb_free_transfer of a transfer that was not allocated");
            return;
        }
        std::free(transfer);
    }

    // Completes the first pending transfer that can complete now; false when none can.
    static bool completeOne(std::unique_lock<std::mutex>& lock, Clock::time_point now)
    {
        for (auto it = s().mPending.begin(); it != s().mPending.end(); ++it) {
            libusb_transfer* transfer = it->transfer;
            SimulatedStick* stick = transfer->dev_handle->device->stick;
            libusb_transfer_status status;
            int received = 0;
            if (it->cancelled) {
                status = LIBUSB_TRANSFER_CANCELLED;
            } else if (stick->mUnplugged) {
                status = LIBUSB_TRANSFER_NO_DEVICE;
            } else if (!stick->mIn.empty()) {
                SimulatedStick::InItem& item = stick->mIn.front();
                const std::size_t room = static_cast<std::size_t>(std::max(transfer->length, 0));
                const std::size_t n = std::min(item.bytes.size(), room);
                std::copy(item.bytes.begin(), item.bytes.begin() + static_cast<long>(n), transfer->buffer);
                received = static_cast<int>(n);
                if (n < item.bytes.size()) {
                    // More than the buffer holds: the rest goes with the next transfer.
                    item.bytes.erase(item.bytes.begin(), item.bytes.begin() + static_cast<long>(n));
                    status = LIBUSB_TRANSFER_COMPLETED;
                } else {
                    status = static_cast<libusb_transfer_status>(item.status);
                    stick->mIn.pop_front();
                }
            } else if (now >= it->deadline) {
                status = LIBUSB_TRANSFER_TIMED_OUT;
            } else {
                continue;
            }
            s().mPending.erase(it);
            ++s().mCompletions[status];
            transfer->status = status;
            transfer->actual_length = received;
            // As in libusb, the callback runs on the thread handling events, without our lock.
            lock.unlock();
            transfer->callback(transfer);
            lock.lock();
            return true;
        }
        return false;
    }

    static int handleEvents(libusb_context* context, timeval* tv, int* completed)
    {
        std::unique_lock<std::mutex> lock(s().mMutex);
        s().countLocked("libusb_handle_events_timeout_completed");
        if (!contains(s().mContexts, context)) {
            s().mMisuse.push_back(
                "libusb_handle_events_timeout_completed on a context that is not initialised");
            return LIBUSB_ERROR_INVALID_PARAM;
        }
        if (s().mHandleEventsFailures > 0) {
            --s().mHandleEventsFailures;
            return s().mHandleEventsError;
        }
        Clock::time_point until = Clock::time_point::max();
        if (tv != nullptr) {
            until = Clock::now() + std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec);
        }
        while (true) {
            if (completed != nullptr && *completed != 0) {
                return LIBUSB_SUCCESS;
            }
            const Clock::time_point now = Clock::now();
            if (completeOne(lock, now)) {
                return LIBUSB_SUCCESS;
            }
            if (now >= until) {
                return LIBUSB_SUCCESS;
            }
            Clock::time_point wake = until;
            for (const Pending& p : s().mPending) {
                wake = std::min(wake, p.deadline);
            }
            if (wake == Clock::time_point::max()) {
                s().mChanged.wait(lock);
            } else {
                s().mChanged.wait_until(lock, wake);
            }
        }
    }
};

} // namespace support

using support::LibusbStandInAccess;

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** ctx)
{
    return LibusbStandInAccess::init(ctx);
}

void LIBUSB_CALL libusb_exit(libusb_context* ctx)
{
    LibusbStandInAccess::exit(ctx);
}

int LIBUSB_CALL libusb_set_option(libusb_context* ctx, enum libusb_option option, ...)
{
    // The value is not read: va_start after a parameter of enum type is undefined.
    LibusbStandInAccess::setOption(ctx, option);
    return LIBUSB_SUCCESS;
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* ctx, libusb_device*** list)
{
    return LibusbStandInAccess::getDeviceList(ctx, list);
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unref_devices)
{
    LibusbStandInAccess::freeDeviceList(list, unref_devices);
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** dev_handle)
{
    return LibusbStandInAccess::open(dev, dev_handle);
}

void LIBUSB_CALL libusb_close(libusb_device_handle* dev_handle)
{
    LibusbStandInAccess::close(dev_handle);
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev, struct libusb_device_descriptor* desc)
{
    return LibusbStandInAccess::descriptor(dev, desc);
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* dev_handle, int)
{
    return LibusbStandInAccess::kernelDriverActive(dev_handle);
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* dev_handle, int)
{
    return LibusbStandInAccess::detachKernelDriver(dev_handle);
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* dev_handle, int)
{
    return LibusbStandInAccess::claim(dev_handle);
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* dev_handle, int)
{
    return LibusbStandInAccess::release(dev_handle);
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle* dev_handle)
{
    return LibusbStandInAccess::resetDevice(dev_handle);
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* dev_handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* actual_length, unsigned int)
{
    return LibusbStandInAccess::bulkTransfer(dev_handle, endpoint, data, length, actual_length);
}

struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int iso_packets)
{
    return LibusbStandInAccess::allocTransfer(iso_packets);
}

int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer* transfer)
{
    return LibusbStandInAccess::submit(transfer);
}

int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer* transfer)
{
    return LibusbStandInAccess::cancel(transfer);
}

void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* transfer)
{
    LibusbStandInAccess::freeTransfer(transfer);
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv,
                                                       int* completed)
{
    return LibusbStandInAccess::handleEvents(ctx, tv, completed);
}

const char* LIBUSB_CALL libusb_error_name(int errcode)
{
    switch (errcode) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    case LIBUSB_ERROR_OTHER:
        return "LIBUSB_ERROR_OTHER";
    default:
        return "**UNKNOWN**";
    }
}

} // extern "C"

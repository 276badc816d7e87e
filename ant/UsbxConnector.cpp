#include "ant/UsbxConnector.h"

#include "ant/AntMessageFramer.h"
#include "core/Log.h"
#include "core/String.h"

#include <sys/time.h>

using rezezaz::core::Log;
using rezezaz::core::String;

namespace vant::ant {

namespace {

// What the reader's transfer callback works with; lives on the reader's stack for as long as
// its transfer is in flight.
struct TransferContext
{
    AntMessageFramer* framer;
    std::atomic<bool>* stop;
    int* completed;
};

const int INTERFACE = 0;

void log(const String& text)
{
    Log::debug(text);
}

} // namespace

UsbxConnector::UsbxConnector() : mContext(nullptr), mReaderStarted(false), mTransferInFlight(nullptr) {}

UsbxConnector::~UsbxConnector()
{
    // A connector dropped without close (a failed set-up, a retry loop) must not leave a
    // libusb context, a claimed device or a reader thread behind.
    if (mContext != nullptr || mDeviceHandle != nullptr || mReaderStarted) {
        close(false);
    }
}

bool UsbxConnector::init(unsigned long value)
{
    if (mContext == nullptr) {
        libusb_context* context = nullptr;
        if (libusb_init(&context) != LIBUSB_SUCCESS) {
            return false;
        }
        mContext = context;
    }
    libusb_set_option(mContext, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_WARNING);
    mInitValue = value;
    return true;
}

int UsbxConnector::findDeviceByIds(int vendor, int product)
{
    mLastError = LIBUSB_SUCCESS;
    if (mContext == nullptr) {
        return -1;
    }
    libusb_device** list = nullptr;
    const ssize_t listed = libusb_get_device_list(mContext, &list);
    const int count = listed > 0 ? static_cast<int>(listed) : 0;
    int found = -1;
    for (int i = 0; i < count; ++i) {
        libusb_device_handle* handle = nullptr;
        int r = libusb_open(list[i], &handle);
        if (r != LIBUSB_SUCCESS) {
            log(String("UsbxConnector::findDeviceByIds USB device: ") + i +
                " failed to open with error:" + libusb_error_name(r));
            // The descriptor needs no open device: it tells whether the wanted stick is there
            // but out of reach (no permission, most often), which the user can do something about.
            libusb_device_descriptor descriptor;
            if (libusb_get_device_descriptor(list[i], &descriptor) == LIBUSB_SUCCESS &&
                descriptor.idVendor == vendor && descriptor.idProduct == product) {
                mLastError = r;
            }
            continue;
        }
        libusb_device_descriptor descriptor;
        r = libusb_get_device_descriptor(list[i], &descriptor);
        if (r != LIBUSB_SUCCESS) {
            log(String("UsbxConnector::findDeviceByIds USB device: ") + i +
                " failed to get descriptor with error:" + libusb_error_name(r));
            libusb_close(handle);
            continue;
        }
        libusb_close(handle);
        if (descriptor.idVendor == vendor && descriptor.idProduct == product) {
            mLastError = LIBUSB_SUCCESS;
            log(String("UsbxConnector::findDeviceByIds success! Found USB device id:") + i +
                " out of:" + count + " with vendor:" + vendor + " and product:" + product);
            found = i;
            break;
        }
    }
    if (list != nullptr) {
        libusb_free_device_list(list, 1);
    }
    return found;
}

bool UsbxConnector::setDeviceNumber(int number)
{
    mDeviceNumber = number;
    return true;
}

bool UsbxConnector::open()
{
    mLastError = LIBUSB_SUCCESS;
    if (mFramer == nullptr) {
        log("UsbxConnector::open called with a NULL AntFramer, be sure to setAntFramer() first");
        return false;
    }
    if (mContext == nullptr) {
        log("UsbxConnector::open called before init");
        return false;
    }
    if (mDeviceHandle != nullptr) {
        log("UsbxConnector::open device already open");
        return false;
    }

    libusb_device** list = nullptr;
    const ssize_t listed = libusb_get_device_list(mContext, &list);
    const int count = listed > 0 ? static_cast<int>(listed) : 0;
    if (mDeviceNumber < 0 || mDeviceNumber >= count) {
        log(String("UsbxConnector::open device number") + mDeviceNumber + " out of range:" + count);
        if (list != nullptr) {
            libusb_free_device_list(list, 1);
        }
        return false;
    }
    libusb_device_handle* handle = nullptr;
    int r = libusb_open(list[mDeviceNumber], &handle);
    libusb_free_device_list(list, 1);
    if (r != LIBUSB_SUCCESS) {
        log(String("UsbxConnector::open USB device:") + mDeviceNumber +
            " failed with error:" + libusb_error_name(r));
        mLastError = r;
        return false;
    }

    r = libusb_kernel_driver_active(handle, INTERFACE);
    if (r == 1) {
        log(String("UsbxConnector::open kernel driver locking USB device:") + mDeviceNumber);
        r = libusb_detach_kernel_driver(handle, INTERFACE);
        if (r != LIBUSB_SUCCESS) {
            log(String("UsbxConnector::open unable to detach kernel driver from device:") + mDeviceNumber);
            mLastError = r;
            libusb_close(handle);
            return false;
        }
    } else {
        log(String("UsbxConnector::open kernel driver active check returned:") + libusb_error_name(r));
    }

    r = libusb_claim_interface(handle, INTERFACE);
    if (r != LIBUSB_SUCCESS) {
        log(String("UsbxConnector::open failed to claim interface:") + "0" +
            " with error:" + libusb_error_name(r));
        mLastError = r;
        libusb_close(handle);
        return false;
    }

    mDeviceHandle = handle;
    mStop = false;
    try {
        mThread = new rezezaz::core::PosixThread(this);
        mThread->start();
    } catch (...) {
        // The thread could not be created (it has logged why): give the device back.
        mStop = true;
        mThread = nullptr;
        libusb_release_interface(handle, INTERFACE);
        libusb_close(handle);
        mDeviceHandle = nullptr;
        return false;
    }
    mReaderStarted = true;
    return true;
}

void UsbxConnector::cancelTransferInFlight()
{
    std::lock_guard<std::mutex> guard(mTransferMutex);
    if (mTransferInFlight != nullptr) {
        libusb_cancel_transfer(mTransferInFlight);
    }
}

bool UsbxConnector::close(bool reset)
{
    // Stop the reader without waiting out the time-out of its transfer, and join it even when
    // it has already stopped by itself (after an unplug), so that nothing below runs while
    // the reader may still be inside libusb.
    mStop = true;
    cancelTransferInFlight();
    if (mReaderStarted) {
        mThread->join();
        mReaderStarted = false;
    }

    if (mDeviceHandle != nullptr) {
        if (reset) {
            libusb_reset_device(mDeviceHandle);
        }
        const int r = libusb_release_interface(mDeviceHandle, INTERFACE);
        if (r != LIBUSB_SUCCESS) {
            log(String("UsbxConnector::close interface release error:") + libusb_error_name(r));
        }
        libusb_close(mDeviceHandle);
        mDeviceHandle = nullptr;
    }

    if (mContext != nullptr) {
        libusb_exit(mContext);
        mContext = nullptr;
    }
    return true;
}

bool UsbxConnector::writeBytes(void* bytes, unsigned short count)
{
    if (bytes == nullptr || mDeviceHandle == nullptr) {
        return false;
    }
    int transferred = 0;
    const int r = libusb_bulk_transfer(mDeviceHandle, OUT_ENDPOINT, static_cast<unsigned char*>(bytes), count,
                                       &transferred, TRANSFER_TIMEOUT_MS);
    if (r != LIBUSB_SUCCESS) {
        log(String("UsbxConnector::writeBytes bulk transfer failed with error:") + libusb_error_name(r));
        return false;
    }
    return true;
}

void UsbxConnector::run()
{
    while (!mStop) {
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (transfer == nullptr) {
            log("UsbxConnector::run failed to allocate transfer structure");
            mStop = true;
            break;
        }

        unsigned char buffer[READ_BUFFER_SIZE];
        int completed = 0;
        TransferContext context{mFramer, &mStop, &completed};
        libusb_fill_bulk_transfer(transfer, mDeviceHandle, IN_ENDPOINT, buffer, READ_BUFFER_SIZE,
                                  transferCallback, &context, TRANSFER_TIMEOUT_MS);

        int r = libusb_submit_transfer(transfer);
        if (r != LIBUSB_SUCCESS) {
            log(String("UsbxConnector::run threaded transfer submission failed with error:") +
                libusb_error_name(r));
            mStop = true;
            libusb_free_transfer(transfer);
            break;
        }
        {
            std::lock_guard<std::mutex> guard(mTransferMutex);
            mTransferInFlight = transfer;
        }
        // A close that came between the loop test and the line above found nothing to cancel.
        if (mStop) {
            libusb_cancel_transfer(transfer);
        }

        // Wait with a bounded time-out so that a quiet stick does not keep a processor busy.
        // The transfer must complete (or be cancelled) before its buffer and context go.
        while (completed == 0) {
            timeval wait{0, EVENT_WAIT_MS * 1000};
            r = libusb_handle_events_timeout_completed(mContext, &wait, &completed);
            if (r != LIBUSB_SUCCESS && !mStop.exchange(true)) {
                libusb_cancel_transfer(transfer);
            }
        }

        {
            std::lock_guard<std::mutex> guard(mTransferMutex);
            mTransferInFlight = nullptr;
        }
        libusb_free_transfer(transfer);
    }
    log("UsbxConnector::run thread terminated");
}

void LIBUSB_CALL UsbxConnector::transferCallback(libusb_transfer* transfer)
{
    TransferContext* context = static_cast<TransferContext*>(transfer->user_data);
    switch (transfer->status) {
    case LIBUSB_TRANSFER_COMPLETED:
    case LIBUSB_TRANSFER_TIMED_OUT:
        // A transfer that times out may still carry the bytes that arrived before it did.
        for (int i = 0; i < transfer->actual_length; ++i) {
            context->framer->processByte(transfer->buffer[i]);
        }
        break;
    default:
        context->stop->store(true);
        break;
    }
    *context->completed = 1;
}

} // namespace vant::ant

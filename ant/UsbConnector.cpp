#include "ant/UsbConnector.h"

namespace vant::ant {

UsbConnector::UsbConnector()
    : mStop(true), mFramer(nullptr), mInitValue(0), mDeviceHandle(nullptr), mDeviceNumber(-1),
      mLastError(LIBUSB_SUCCESS)
{}

UsbConnector::~UsbConnector() = default;

} // namespace vant::ant

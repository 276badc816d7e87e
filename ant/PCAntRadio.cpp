#include "ant/PCAntRadio.h"

#include "ant/AntMessageFramer.h"
#include "ant/AntRadioListener.h"
#include "ant/UsbxConnector.h"
#include "core/Log.h"
#include "core/PosixThread.h"
#include "core/String.h"

#include <cstdio>
#include <cstring>

namespace vant::ant {

namespace {

const char* const kCategory = "vant.ant";

// Largest payload one framed message carries, and the framer's answers that are not a message.
constexpr int kMaxPayload = 41;
constexpr unsigned short kLastMessageResult = 0xFFFD;

void logRadio(rezezaz::core::Logger::Level level, const char* text)
{
    rezezaz::core::Logger* logger = rezezaz::core::Log::getInstance();
    const rezezaz::core::String category(kCategory);
    if (logger->getMasterCategoryReportingLevel(category) >= level) {
        logger->addLogEntry(category, level, rezezaz::core::String(text));
    }
}

// Why the stick could not be had, with its ids in hex as the udev rule writes them.
void logStickFailure(const char* what, int vendor, int product, int error)
{
    char text[192];
    if (error == LIBUSB_SUCCESS) {
        std::snprintf(text, sizeof text,
                      "PCAntRadio::create Unable to %s device with vendor=0x%04X and product=0x%04X", what,
                      static_cast<unsigned>(vendor), static_cast<unsigned>(product));
    } else {
        std::snprintf(
            text, sizeof text,
            "PCAntRadio::create Unable to %s device with vendor=0x%04X and product=0x%04X with error:%s",
            what, static_cast<unsigned>(vendor), static_cast<unsigned>(product), libusb_error_name(error));
    }
    logRadio(rezezaz::core::Logger::ERROR, text);
}

} // namespace

PCAntRadio::PCAntRadio(int baud, int vendor, int product) : mBaud(baud), mVendor(vendor), mProduct(product) {}

PCAntRadio::~PCAntRadio()
{
    // Normally destroy() has closed the stick already; a radio deleted without it must not leave the
    // reader thread running on a freed framer.
    closeStick();
}

bool PCAntRadio::create()
{
    destroy();

    auto* connector = new UsbxConnector();
    if (!connector->init(static_cast<unsigned long>(mBaud))) {
        logRadio(rezezaz::core::Logger::ERROR, "PCAntRadio::create Unable to create UsbxConnector");
        delete connector;
        return false;
    }

    const int index = connector->findDeviceByIds(mVendor, mProduct);
    if (index < 0) {
        // A stick that is there but could not be opened (no permission, most often) is told
        // apart from no stick at all.
        const int error = connector->getLastError();
        logStickFailure(error == LIBUSB_SUCCESS ? "find" : "open", mVendor, mProduct, error);
        // init opened a USB context; close ends it again.
        connector->close(false);
        delete connector;
        return false;
    }

    connector->setDeviceNumber(index);
    auto* framer = new AntMessageFramer(connector);
    connector->setAntFramer(framer);
    if (!connector->open()) {
        logStickFailure("open", mVendor, mProduct, connector->getLastError());
        connector->close(false);
        delete connector;
        delete framer;
        return false;
    }

    mConnector = connector;
    mFramer = framer;
    mConnected = true;
    if (mListener) {
        mListener->stateChanged(true);
    }
    return true;
}

void PCAntRadio::destroy()
{
    if (mListener) {
        mListener->stateChanged(false);
    }
    closeStick();
    mConnected = false;
}

void PCAntRadio::closeStick()
{
    if (mConnector) {
        mConnector->close(false);
        delete mConnector;
        mConnector = nullptr;
    }
    delete mFramer;
    mFramer = nullptr;
}

bool PCAntRadio::start()
{
    return true;
}

void PCAntRadio::stop() {}

int PCAntRadio::version()
{
    return mProduct;
}

int PCAntRadio::apVersion()
{
    if (!mConnector) {
        return 0;
    }
    switch (mProduct) {
    case 0x1004:
        return 1;
    case 0x1008:
    case 0x1009:
        return 2;
    default:
        // 0x1005 to 0x1007 and every unknown stick
        return 0;
    }
}

bool PCAntRadio::state()
{
    if (!mConnector) {
        return false;
    }
    rezezaz::core::PosixThread* thread = mConnector->getThread();
    return thread && thread->isRunning();
}

void PCAntRadio::sendMessage(int id, unsigned char* payload, int length)
{
    if (!mFramer) {
        logRadio(rezezaz::core::Logger::DEBUG, "PCAntRadio::sendMessage dropped: no stick open");
        return;
    }
    if (length < 0 || length > kMaxPayload || (length > 0 && !payload)) {
        logRadio(rezezaz::core::Logger::DEBUG, "PCAntRadio::sendMessage dropped: invalid payload");
        return;
    }
    unsigned char message[1 + kMaxPayload];
    message[0] = static_cast<unsigned char>(id);
    if (length > 0) {
        std::memcpy(message + 1, payload, static_cast<size_t>(length));
    }
    // A failed write has been logged by the connector; nothing retries at this level.
    mFramer->writeMessage(message, static_cast<unsigned short>(length));
}

void PCAntRadio::update()
{
    if (mFramer) {
        unsigned char buffer[1 + kMaxPayload];
        const unsigned short result = mFramer->getMessage(buffer, kMaxPayload);
        // 0xFFFE is an empty queue, 0xFFFF an error report that the framer has logged.
        if (result <= kLastMessageResult && mListener) {
            mListener->messageReceived(buffer[0], buffer + 1, result);
        }
    }

    if (mConnected && !state()) {
        mConnected = false;
        if (mListener) {
            mListener->stateChanged(false);
        }
    }
}

void PCAntRadio::setListener(AntRadioListener* listener)
{
    mListener = listener;
}

AntRadio* new_PCAntRadio(int baud, int vendor, int product)
{
    return new PCAntRadio(baud, vendor, product);
}

} // namespace vant::ant

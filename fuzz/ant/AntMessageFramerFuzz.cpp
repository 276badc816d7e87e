// Drives the framer the way a stick does: through the connector's reader thread and its USB
// transfer callback, over the libusb stand-in. The input is a script of transfers of any size
// ending with any status, and of reads of the queue at any point between them; the framer's
// queue is small, so that it fills. Everything the framer hands out is checked against a plain
// model of the frame format: a frame is a sync byte, a length of at most 41, an id, the payload
// and a checksum that makes the XOR of the frame 0; a frame that fails is looked for again from
// the byte after its sync byte.
#include "ant/AntMessageFramer.h"
#include "ant/UsbxConnector.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "support/LibusbStandIn.h"
#include "support/SimulatedStick.h"

#include <libusb.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

using support::Bytes;
using support::LibusbStandIn;
using support::SimulatedStick;
using vant::ant::AntMessageFramer;
using vant::ant::UsbxConnector;

namespace {

const int VENDOR = 0x0FCF;
const int PRODUCT = 0x1008;
const unsigned int QUEUE = 6; // holds 5 messages

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// What the framer should hold: the same machine written the plain way, over every byte the
// reader has passed on so far.
class Model
{
public:
    void receive(const Bytes& bytes)
    {
        mStream.insert(mStream.end(), bytes.begin(), bytes.end());
        for (;;) {
            while (mAt < mStream.size() && mStream[mAt] != AntMessageFramer::SYNC) {
                ++mAt;
            }
            if (mAt + 1 >= mStream.size()) {
                return;
            }
            const std::size_t length = mStream[mAt + 1];
            if (length > AntMessageFramer::MAX_PAYLOAD) {
                fail();
                continue;
            }
            const std::size_t end = mAt + length + 4;
            if (end > mStream.size()) {
                return;
            }
            unsigned char sum = 0;
            for (std::size_t i = mAt; i < end; ++i) {
                sum ^= mStream[i];
            }
            if (sum != 0) {
                fail();
                continue;
            }
            if (queue.size() + 1 >= QUEUE) {
                error = AntMessageFramer::ERROR_QUEUE_FULL;
            } else {
                queue.emplace_back(mStream.begin() + static_cast<long>(mAt) + 1,
                                   mStream.begin() + static_cast<long>(end) - 1);
            }
            mAt = end;
        }
    }

    // Length, id and payload of each queued message, oldest first.
    std::deque<Bytes> queue;
    unsigned char error = 0;

private:
    void fail()
    {
        error = AntMessageFramer::ERROR_CHECKSUM;
        ++mAt;
    }

    Bytes mStream;
    std::size_t mAt = 0;
};

// Takes one message (or error) from the framer and checks it against the model.
void read(AntMessageFramer& framer, Model& model, unsigned short max)
{
    const std::size_t room =
        1 + (max == 0 || max > AntMessageFramer::MAX_PAYLOAD ? AntMessageFramer::MAX_PAYLOAD : max);
    std::vector<unsigned char> out(room);
    const unsigned short result = framer.getMessage(out.data(), max);
    if (model.error != 0) {
        check(result == AntMessageFramer::ERROR_REPORTED && out[0] == model.error);
        if (model.error == AntMessageFramer::ERROR_CHECKSUM) {
            check(out[1] == AntMessageFramer::CHECKSUM_ERROR_DETAIL);
        }
        model.error = 0;
        return;
    }
    if (model.queue.empty()) {
        check(result == AntMessageFramer::QUEUE_EMPTY);
        return;
    }
    const Bytes message = model.queue.front();
    model.queue.pop_front();
    const unsigned int length = message[0];
    const unsigned int n = max != 0 && length >= max ? max : length;
    check(result == n && out[0] == message[1]);
    check(std::memcmp(out.data() + 1, message.data() + 2, n) == 0);
}

// Until every transfer the stick was given has been handed to the callback and the callback has
// returned. The counts are read in this order, each under the stand-in's lock: once the stick has
// nothing left, its last transfer is among the completions, and the reader frees a transfer only
// after its callback.
void settle(LibusbStandIn& usb, SimulatedStick& stick)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        if (stick.pendingTransfers() == 0) {
            int completed = 0;
            for (int status = LIBUSB_TRANSFER_COMPLETED; status <= LIBUSB_TRANSFER_OVERFLOW; ++status) {
                completed += usb.completions(status);
            }
            if (usb.calls("libusb_free_transfer") == completed) {
                return;
            }
        }
        check(std::chrono::steady_clock::now() < giveUp);
        std::this_thread::yield();
    }
}

const int STATUSES[] = {
    LIBUSB_TRANSFER_COMPLETED, LIBUSB_TRANSFER_COMPLETED, LIBUSB_TRANSFER_COMPLETED,
    LIBUSB_TRANSFER_TIMED_OUT, LIBUSB_TRANSFER_ERROR,     LIBUSB_TRANSFER_STALL,
    LIBUSB_TRANSFER_OVERFLOW,  LIBUSB_TRANSFER_NO_DEVICE,
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Keep the debug lines off the console.
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LibusbStandIn& usb = LibusbStandIn::instance();
    usb.reset();
    SimulatedStick& stick = usb.addDevice(VENDOR, PRODUCT);
    UsbxConnector connector;
    AntMessageFramer framer(&connector, QUEUE);
    check(connector.init(57600));
    const int index = connector.findDeviceByIds(VENDOR, PRODUCT);
    check(index >= 0);
    connector.setDeviceNumber(index);
    connector.setAntFramer(&framer);
    check(connector.open());

    Model model;
    bool readerStopped = false;
    std::size_t at = 0;
    while (at < size) {
        const uint8_t op = data[at++];
        if (op < 0x80) {
            // A read with a cap of 0 (none) to 47.
            read(framer, model, op % 48);
            continue;
        }
        if (readerStopped) {
            continue;
        }
        // A transfer: its status, then its size from the low bits and the next byte.
        const int status = STATUSES[(op >> 4) & 7];
        std::size_t length = op & 0x0F;
        if (length == 0x0F && at < size) {
            length = std::size_t(data[at++]) * 24; // up to 6120 bytes, more than one transfer holds
        }
        Bytes bytes;
        for (std::size_t i = 0; i < length && at < size; ++i) {
            bytes.push_back(data[at++]);
        }
        stick.sendStatus(status, bytes);
        settle(usb, stick);
        if (status == LIBUSB_TRANSFER_COMPLETED || status == LIBUSB_TRANSFER_TIMED_OUT) {
            model.receive(bytes);
        } else if (bytes.size() > UsbxConnector::READ_BUFFER_SIZE) {
            // The first part came in a completed transfer of its own.
            model.receive(Bytes(bytes.begin(), bytes.begin() + UsbxConnector::READ_BUFFER_SIZE));
            readerStopped = true;
        } else {
            // Any other end stops the reader; what the transfer carried is not taken.
            readerStopped = true;
        }
    }
    // What is left comes out in order, then nothing.
    while (model.error != 0 || !model.queue.empty()) {
        read(framer, model, 0);
    }
    read(framer, model, 0);

    connector.close(false);
    check(usb.unbalanced().empty());
    return 0;
}

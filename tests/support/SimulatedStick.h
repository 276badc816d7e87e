#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

namespace support {

class LibusbStandIn;
class SimulatedAntChip;
class SimulatedStick;

using Bytes = std::vector<unsigned char>;

// What a simulated stick does with the messages the host writes to it: answer them, play a
// device behind the stick, or just record them. A stick may have several handlers; each sees
// every whole, checksum-tested message in the order written.
class StickMessageHandler
{
public:
    virtual ~StickMessageHandler() = default;
    virtual void messageReceived(SimulatedStick& stick, unsigned char id, const Bytes& payload) = 0;
};

// One USB device behind the libusb stand-in, by default an ANT stick. The host's bulk OUT
// writes are parsed into ANT frames and handed to the handlers; what the stick sends back is
// queued as the results of the host's bulk IN transfers, one queued item per transfer. The
// set-up answers (open, descriptor, kernel driver, claim) can be made to fail. Created and
// owned by LibusbStandIn; every operation is safe from any thread.
class SimulatedStick
{
public:
    struct Message
    {
        unsigned char id;
        Bytes payload;
    };

    SimulatedStick(LibusbStandIn& owner, int vendor, int product);
    ~SimulatedStick();

    int vendor() const { return mVendor; }
    int product() const { return mProduct; }

    // Set-up answers: 0 for success or a LIBUSB_ERROR code. Set them before the host opens.
    int openError = 0;
    int descriptorError = 0;
    int kernelDriverActive = 0; // the answer of libusb_kernel_driver_active: 0, 1 or an error
    int detachError = 0;
    int claimError = 0;
    int writeError = 0;

    // A valid ANT frame (sync, length, id, payload, checksum), independent of the code under test.
    static Bytes frame(unsigned char id, const Bytes& payload);

    // Stick to host. Bytes are split into transfers of at most chunkSize bytes each (0: each
    // call is one transfer, however many frames it holds).
    void setChunkSize(std::size_t chunkSize);
    void sendMessage(unsigned char id, const Bytes& payload);
    void sendBytes(const Bytes& bytes);
    // The next transfer ends with "timed out", carrying the given bytes that arrived first.
    void sendTimeout(const Bytes& partial = {});
    // The next transfer ends with the given libusb_transfer_status, carrying the given bytes.
    void sendStatus(int status, const Bytes& bytes);
    // From now on IN transfers end with "no device", writes and set-up calls fail with
    // LIBUSB_ERROR_NO_DEVICE, and the device is left out of new device lists.
    void unplug();
    bool unplugged() const;
    // Transfers queued and not yet taken by the host.
    std::size_t pendingTransfers() const;

    // Host to stick.
    void addHandler(StickMessageHandler* handler);
    std::vector<Bytes> writes() const;
    std::vector<Message> messages() const;

    // The stick's ANT side with its power meters, made and added as a handler on first use: from
    // then on the stick answers the host as an ANT stick does (an AP1 stick for product 0x1004).
    // Its time moves only with its advance(); use it from the thread that writes to the stick.
    SimulatedAntChip& ant();

private:
    friend struct LibusbStandInAccess;

    struct InItem
    {
        int status; // the libusb_transfer_status of the transfer that takes the last byte
        Bytes bytes;
    };

    void queueLocked(const Bytes& bytes);
    // Parses the bytes written so far; returns the whole messages found. Lock held.
    std::vector<Message> parseWrittenLocked(const Bytes& written);

    LibusbStandIn& mOwner;
    const int mVendor;
    const int mProduct;
    std::size_t mChunkSize = 0;
    bool mUnplugged = false;
    std::deque<InItem> mIn;
    std::vector<Bytes> mWrites;
    Bytes mUnparsed;
    std::vector<Message> mMessages;
    std::vector<StickMessageHandler*> mHandlers;
    std::unique_ptr<SimulatedAntChip> mAnt;
};

} // namespace support

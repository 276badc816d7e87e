#include "support/SimulatedStick.h"

#include "support/LibusbStandIn.h"
#include "support/SimulatedAntChip.h"

#include <libusb.h>

#include <algorithm>

namespace support {

SimulatedStick::SimulatedStick(LibusbStandIn& owner, int vendor, int product)
    : mOwner(owner), mVendor(vendor), mProduct(product)
{}

SimulatedStick::~SimulatedStick() = default;

SimulatedAntChip& SimulatedStick::ant()
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    if (!mAnt) {
        const auto kind = mProduct == 0x1004 ? SimulatedAntChip::Kind::AP1 : SimulatedAntChip::Kind::AP2;
        mAnt = std::make_unique<SimulatedAntChip>(
            [this](unsigned char id, const Bytes& payload) { sendMessage(id, payload); }, kind);
        mHandlers.push_back(mAnt.get());
    }
    return *mAnt;
}

Bytes SimulatedStick::frame(unsigned char id, const Bytes& payload)
{
    Bytes bytes{0xA4, static_cast<unsigned char>(payload.size()), id};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    unsigned char sum = 0;
    for (unsigned char b : bytes) {
        sum = static_cast<unsigned char>(sum ^ b);
    }
    bytes.push_back(sum);
    return bytes;
}

void SimulatedStick::setChunkSize(std::size_t chunkSize)
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    mChunkSize = chunkSize;
}

void SimulatedStick::queueLocked(const Bytes& bytes)
{
    if (mChunkSize == 0 || bytes.empty()) {
        mIn.push_back({LIBUSB_TRANSFER_COMPLETED, bytes});
        return;
    }
    for (std::size_t at = 0; at < bytes.size(); at += mChunkSize) {
        const std::size_t end = std::min(bytes.size(), at + mChunkSize);
        mIn.push_back({LIBUSB_TRANSFER_COMPLETED,
                       Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(end))});
    }
}

void SimulatedStick::sendMessage(unsigned char id, const Bytes& payload)
{
    sendBytes(frame(id, payload));
}

void SimulatedStick::sendBytes(const Bytes& bytes)
{
    {
        std::lock_guard<std::mutex> lock(mOwner.mMutex);
        queueLocked(bytes);
    }
    mOwner.mChanged.notify_all();
}

void SimulatedStick::sendTimeout(const Bytes& partial)
{
    sendStatus(LIBUSB_TRANSFER_TIMED_OUT, partial);
}

void SimulatedStick::sendStatus(int status, const Bytes& bytes)
{
    {
        std::lock_guard<std::mutex> lock(mOwner.mMutex);
        mIn.push_back({status, bytes});
    }
    mOwner.mChanged.notify_all();
}

void SimulatedStick::unplug()
{
    {
        std::lock_guard<std::mutex> lock(mOwner.mMutex);
        mUnplugged = true;
    }
    mOwner.mChanged.notify_all();
}

bool SimulatedStick::unplugged() const
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    return mUnplugged;
}

std::size_t SimulatedStick::pendingTransfers() const
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    return mIn.size();
}

void SimulatedStick::addHandler(StickMessageHandler* handler)
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    mHandlers.push_back(handler);
}

std::vector<Bytes> SimulatedStick::writes() const
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    return mWrites;
}

std::vector<SimulatedStick::Message> SimulatedStick::messages() const
{
    std::lock_guard<std::mutex> lock(mOwner.mMutex);
    return mMessages;
}

std::vector<SimulatedStick::Message> SimulatedStick::parseWrittenLocked(const Bytes& written)
{
    mWrites.push_back(written);
    mUnparsed.insert(mUnparsed.end(), written.begin(), written.end());
    std::vector<Message> found;
    std::size_t at = 0;
    while (true) {
        while (at < mUnparsed.size() && mUnparsed[at] != 0xA4) {
            ++at; // padding after a frame, or noise
        }
        if (mUnparsed.size() - at < 4) {
            break;
        }
        const std::size_t length = mUnparsed[at + 1];
        if (mUnparsed.size() - at < length + 4) {
            break;
        }
        unsigned char sum = 0;
        for (std::size_t i = 0; i < length + 4; ++i) {
            sum = static_cast<unsigned char>(sum ^ mUnparsed[at + i]);
        }
        if (sum != 0) {
            ++at; // not a frame after all: look for the next sync byte
            continue;
        }
        const auto payload = mUnparsed.begin() + static_cast<long>(at + 3);
        found.push_back({mUnparsed[at + 2], Bytes(payload, payload + static_cast<long>(length))});
        at += length + 4;
    }
    mUnparsed.erase(mUnparsed.begin(), mUnparsed.begin() + static_cast<long>(at));
    mMessages.insert(mMessages.end(), found.begin(), found.end());
    return found;
}

} // namespace support

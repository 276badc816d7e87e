#include "support/SimulatedStickRadio.h"

#include "ant/AntRadioListener.h"

#include <algorithm>

namespace support {

namespace {

constexpr int kAp1Product = 0x1004;

} // namespace

SimulatedStickRadio::SimulatedStickRadio(int product)
    : mProduct(product),
      mChip(
          [this](unsigned char id, const Bytes& payload) {
              if (mOpen && !mUnplugged) {
                  Message message{id, payload};
                  const int copies = toHost ? toHost(message) : 1;
                  for (int i = 0; i < copies; ++i) {
                      mToHost.push_back(message);
                  }
              }
          },
          product == kAp1Product ? SimulatedAntChip::Kind::AP1 : SimulatedAntChip::Kind::AP2)
{}

bool SimulatedStickRadio::create()
{
    destroy();
    if (mUnplugged) {
        return false;
    }
    mOpen = true;
    mConnected = true;
    if (mListener) {
        mListener->stateChanged(true);
    }
    return true;
}

void SimulatedStickRadio::destroy()
{
    if (mListener) {
        mListener->stateChanged(false);
    }
    mOpen = false;
    mConnected = false;
    mToHost.clear();
}

bool SimulatedStickRadio::start()
{
    return true;
}

void SimulatedStickRadio::stop() {}

int SimulatedStickRadio::version()
{
    return mProduct;
}

int SimulatedStickRadio::apVersion()
{
    if (!mOpen) {
        return 0;
    }
    switch (mProduct) {
    case kAp1Product:
        return 1;
    case 0x1008:
    case 0x1009:
        return 2;
    default:
        return 0;
    }
}

bool SimulatedStickRadio::state()
{
    return mOpen && !mUnplugged;
}

void SimulatedStickRadio::sendMessage(int id, unsigned char* payload, int length)
{
    if (!state() || length < 0 || length > 41 || (length > 0 && payload == nullptr)) {
        return;
    }
    Bytes bytes(payload, payload + length);
    const Message message{static_cast<unsigned char>(id), bytes};
    if (write && !write(message)) {
        mFailedWrites.push_back(message);
        return;
    }
    mSent.push_back(message);
    mChip.receive(static_cast<unsigned char>(id), bytes);
}

void SimulatedStickRadio::update()
{
    if (mConnected && !state()) {
        mConnected = false;
        if (mListener) {
            mListener->stateChanged(false);
        }
        return;
    }
    if (!state()) {
        return;
    }
    mChip.advance(mUpdateStep);
    if (mToHost.empty() || !mListener) {
        return;
    }
    // As from a real stick's queue: a buffer of the largest payload, zero past the message. Handing
    // it on is the last thing done, as the listener may let go of this radio meanwhile.
    unsigned char buffer[41] = {};
    const Message next = std::move(mToHost.front());
    mToHost.pop_front();
    const std::size_t length = std::min(next.payload.size(), sizeof buffer);
    std::copy(next.payload.begin(), next.payload.begin() + static_cast<long>(length), buffer);
    mListener->messageReceived(next.id, buffer, static_cast<int>(length));
}

void SimulatedStickRadio::setListener(vant::ant::AntRadioListener* listener)
{
    mListener = listener;
}

void SimulatedStickRadio::unplug()
{
    mUnplugged = true;
    mToHost.clear();
}

} // namespace support

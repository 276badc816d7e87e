#pragma once

#include "ant/AntRadio.h"
#include "core/Object.h"

namespace vant::ant {

class AntMessageFramer;
class UsbConnector;

// The radio of a real ANT stick on USB. It owns the USB connector and the framer while the stick is
// open; the connector's reader thread fills the framer's queue and update() hands on what waits there,
// up to MESSAGES_PER_UPDATE messages per call, on the GUI thread. Made by new_PCAntRadio and owned by
// whoever holds a reference (the manager, which keeps it alive through each update).
class PCAntRadio : public rezezaz::core::Object, public AntRadio
{
public:
    // The most messages one update() hands on. A stick answers in the same slot with more than one
    // message (a broadcast, then the result of an acknowledged message); taken one per 33 ms pump
    // they would fall behind the channel's slots. The bound keeps one pump short when a long queue
    // has built up; it is well above what a stick sends in 33 ms, bursts included.
    static constexpr int MESSAGES_PER_UPDATE = 32;

    PCAntRadio(int baud, int vendor, int product);
    ~PCAntRadio() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    bool create() override;
    void destroy() override;
    bool start() override;
    void stop() override;
    int version() override;
    int apVersion() override;
    bool state() override;
    void sendMessage(int id, unsigned char* payload, int length) override;
    void update() override;
    void setListener(AntRadioListener* listener) override;

private:
    // Closes and frees the connector and the framer, in that order (the reader thread feeds the
    // framer until the connector is closed).
    void closeStick();

    int mBaud;
    int mVendor;
    int mProduct;
    bool mConnected = false;
    UsbConnector* mConnector = nullptr;
    AntRadioListener* mListener = nullptr;
    AntMessageFramer* mFramer = nullptr;
};

// Makes a PCAntRadio for the stick with these USB ids; nothing is opened until create().
AntRadio* new_PCAntRadio(int baud, int vendor, int product);

} // namespace vant::ant

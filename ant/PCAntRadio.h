#pragma once

#include "ant/AntRadio.h"
#include "core/Object.h"

namespace vant::ant {

class AntMessageFramer;
class UsbConnector;

// The radio of a real ANT stick on USB. It owns the USB connector and the framer while the stick is
// open; the connector's reader thread fills the framer's queue and update() takes one message from it
// per call on the GUI thread. Made by new_PCAntRadio and owned by whoever holds a reference (the
// manager).
class PCAntRadio : public rezezaz::core::Object, public AntRadio
{
public:
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

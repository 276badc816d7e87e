#pragma once

#include "ant/AntManager.h"
#include "ant/AntRadio.h"
#include "ant/AntRadioListener.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"

#include <memory>

namespace vant::ant {

class AntRadioChannel;

// The application's object for one ANT stick. It owns the radio and the four channel slots, builds
// every ANT command, loads the network keys when the radio comes up, sends bursts packet by packet,
// resends a failed acknowledged message and routes each received message by id and channel number to
// a channel or to its own listeners. GUI thread only, pumped by update(ms). Counted; the application
// holds it, and so do the devices and the search that use it.
class AntRadioManager : public rezezaz::core::Object, public AntManager, public AntRadioListener
{
public:
    // A null radio gets a SimulatedAntRadio; a null key the default network key.
    AntRadioManager(AntRadio* radio, const unsigned char* key);
    ~AntRadioManager() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    // AntManager
    bool create() override;
    void destroy() override;
    bool state() override;
    int version() override;
    AntChannel* getChannel(int number, int network) override;
    void logf(rezezaz::core::Logger::Level level, const char* format, ...) override
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    void log(const char* text) override;
    void addManagerListener(AntManagerListener* listener) override;
    void removeManagerListener(AntManagerListener* listener) override;
    void update(int ms) override;

    // AntRadioListener
    void stateChanged(bool connected) override;
    void messageReceived(int id, unsigned char* payload, int length) override;

    // The radio's AP version (0 without a radio).
    int apVersion();

    // ANT commands; each goes to the radio at once (nothing is sent without a radio).
    void ANT_ResetSystem();
    void ANT_SetNetworkKey(int network, const unsigned char* key);
    void ANT_AssignChannel(int channel, int type, int network);
    void ANT_UnassignChannel(int channel);
    void ANT_SetChannelId(int channel, int device, int type, int transmission);
    // Timeout in units of 2.5 s.
    void ANT_SetChannelSearchTimeout(int channel, int timeout);
    void ANT_SetChannelPeriod(int channel, int period);
    void ANT_SetChannelFrequency(int channel, int frequency);
    void ANT_RxExtMesgsEnable(int channel, bool enable);
    void ANT_Open(int channel);
    void ANT_Close(int channel);
    void ANT_OpenRxScanMode();
    void ANT_RequestMessage(int channel, int id);
    // 8 data bytes each.
    void ANT_SendBroadcastData(int channel, unsigned char* data);
    // Remembered and sent again on every failure report until the stick reports it delivered.
    void ANT_SendAcknowledgedData(int channel, unsigned char* data);
    void ANT_SendBurstTransferPacket(int channel, unsigned char* data);
    // Sends `length` bytes (above 0) as a burst of 8-byte packets; the burst stays pending until the
    // stick reports it completed or failed. A new burst replaces a pending one.
    void ANT_SendBurstData(int channel, unsigned char* data, int length);
    // Sends the next packet of the current section, if one is left.
    void ANT_UpdateBurstData();

    // Hands a ready message to the radio; an acknowledged message (0x4F) is remembered for resending.
    void sendMessage(int id, unsigned char* payload, int length);

    // The key loaded into network 1 when the manager is given none: the ANT+ network's key.
    static const unsigned char DEFAULT_NETWORK_KEY[8];

    // Largest payload the manager hands on from the radio; shorter ones are zero-padded to it.
    static constexpr int RECEIVE_BUFFER_SIZE = 41;

private:
    static constexpr int CHANNEL_COUNT = 4;

    // The scratch's first `length` bytes to the radio as message `id`.
    void sendScratch(int id, int length);
    // Sends the rest of the current burst, every packet at once.
    void ANT_SendBurstDataSection();
    // Sends the packet at the current offset; false when it was the section's last.
    bool sendBurstPacket();
    // The fewest payload bytes a received message of `id` must carry to be read.
    static int minimumPayload(int id);
    // The slot's channel for a received channel byte; null for numbers above 3 or an empty slot.
    AntRadioChannel* channelFor(unsigned char channelByte);
    void dispatchChannelResponse(AntRadioChannel* channel, unsigned char* payload);

    unsigned char mNetworkKey[8];
    unsigned char mScratch[9] = {};

    int mAckLength = 0; // 0 = no acknowledged message pending
    unsigned char mAck[9] = {};

    std::unique_ptr<unsigned char[]> mBurstBuffer;
    int mBurstCapacity = 0;
    int mBurstLength = 0; // 0 = no burst pending
    int mBurstSent = 0;
    int mBurstOffset = 0;
    int mBurstSectionLength = 0;
    int mBurstChannel = 0;
    int mBurstSequence = 0;

    rezezaz::core::Collection<AntManagerListener*> mListeners;
    rezezaz::core::IntrusivePointer<AntRadio> mRadio;
    rezezaz::core::IntrusivePointer<AntRadioChannel> mChannels[CHANNEL_COUNT];
    int mChannelNetworks[CHANNEL_COUNT] = {};
};

} // namespace vant::ant

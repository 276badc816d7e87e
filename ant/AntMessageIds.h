#pragma once

// The message ids and the response and event codes the library and the simulated sticks exchange, so
// that each is written down once.

namespace vant::ant {

// Message ids.
constexpr unsigned char kVersion = 0x3E;
constexpr unsigned char kChannelResponse = 0x40; // a response to a command, or a channel event
constexpr unsigned char kUnassignChannel = 0x41;
constexpr unsigned char kAssignChannel = 0x42;
constexpr unsigned char kSetChannelPeriod = 0x43;
constexpr unsigned char kSetSearchTimeout = 0x44;
constexpr unsigned char kSetChannelFrequency = 0x45;
constexpr unsigned char kSetNetworkKey = 0x46;
constexpr unsigned char kResetSystem = 0x4A;
constexpr unsigned char kOpenChannel = 0x4B;
constexpr unsigned char kCloseChannel = 0x4C;
constexpr unsigned char kRequestMessage = 0x4D;
constexpr unsigned char kBroadcastData = 0x4E;
constexpr unsigned char kAcknowledgedData = 0x4F;
constexpr unsigned char kBurstData = 0x50;
constexpr unsigned char kSetChannelId = 0x51;
constexpr unsigned char kChannelId = 0x51; // the same id, as the stick's answer to a request
constexpr unsigned char kCapabilities = 0x54;
constexpr unsigned char kOpenRxScanMode = 0x5B;
constexpr unsigned char kExtBroadcastData = 0x5D;
constexpr unsigned char kExtAcknowledgedData = 0x5E;
constexpr unsigned char kExtBurstData = 0x5F;
constexpr unsigned char kRxExtMesgsEnable = 0x66;
constexpr unsigned char kStartup = 0x6F;

// In a channel response, this message id in place of a command's id marks a channel event.
constexpr unsigned char kEventMessage = 1;

// Response codes.
constexpr unsigned char kResponseNoError = 0x00;
constexpr unsigned char kChannelInWrongState = 0x15;
constexpr unsigned char kChannelNotOpened = 0x16;
constexpr unsigned char kTransferInProgress = 0x1F;
constexpr unsigned char kInvalidMessage = 0x28;
constexpr unsigned char kInvalidNetworkNumber = 0x29;

// Event codes.
constexpr unsigned char kEventSearchTimeout = 1;
constexpr unsigned char kEventReceiveFailed = 2;
constexpr unsigned char kEventTransferCompleted = 5;
constexpr unsigned char kEventTransferFailed = 6;
constexpr unsigned char kEventChannelClosed = 7;
constexpr unsigned char kEventReceiveFailedGoToSearch = 8;

// The channel events the manager turns a received data message into.
constexpr unsigned char kEventBroadcast = 0x9A;
constexpr unsigned char kEventAcknowledged = 0x9B;
constexpr unsigned char kEventBurst = 0x9C;
constexpr unsigned char kEventExtBroadcast = kExtBroadcastData;
constexpr unsigned char kEventExtAcknowledged = kExtAcknowledgedData;
constexpr unsigned char kEventExtBurst = kExtBurstData;

} // namespace vant::ant

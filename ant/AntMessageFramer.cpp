#include "ant/AntMessageFramer.h"

#include "ant/AntMessageResponse.h"
#include "ant/UsbConnector.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/String.h"

#include <cstring>

namespace vant::ant {

namespace {

const char* const CATEGORY = "vant.ant";
const rezezaz::core::Logger::Level DEBUG_LEVEL = rezezaz::core::Logger::DEBUG;

void logDebug(const char* text)
{
    rezezaz::core::Logger* logger = rezezaz::core::Log::getInstance();
    const rezezaz::core::String category(CATEGORY);
    if (logger->getMasterCategoryReportingLevel(category) >= DEBUG_LEVEL) {
        logger->addLogEntry(category, DEBUG_LEVEL, rezezaz::core::String(text));
    }
}

} // namespace

unsigned char CheckSum_Calc8(const void* bytes, unsigned short count)
{
    if (bytes == nullptr) {
        return 0;
    }
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    unsigned char sum = 0;
    for (unsigned short i = 0; i < count; ++i) {
        sum ^= p[i];
    }
    return sum;
}

namespace {

unsigned int queueSizeFrom(unsigned int asked)
{
    const unsigned int largest = AntMessageFramer::QUEUE_SIZE;
    return asked < 2 ? 2 : asked > largest ? largest : asked;
}

} // namespace

AntMessageFramer::AntMessageFramer(UsbConnector* connector, unsigned int queueSize)
    : mReceiveIndex(0), mFrame(), mRunningXor(0), mFrameEnd(0), mFailedEnd(0),
      mQueueSize(queueSizeFrom(queueSize)), mWriteIndex(0), mReadIndex(0), mErrorKind(0), mErrorDetail(0),
      mQueue(new Entry[mQueueSize]()), mResponseList(nullptr), mConnector(connector)
{}

AntMessageFramer::~AntMessageFramer() = default;

bool AntMessageFramer::writeMessage(void* message, unsigned short length)
{
    if (message == nullptr || length > MAX_PAYLOAD || mConnector == nullptr) {
        return false;
    }
    const unsigned char* in = static_cast<const unsigned char*>(message);
    // sync, length, id, payload, checksum, and two zero bytes after the frame.
    unsigned char frame[MAX_PAYLOAD + 6];
    frame[0] = SYNC;
    frame[1] = static_cast<unsigned char>(length);
    std::memcpy(frame + 2, in, length + 1u);
    frame[length + 3] = CheckSum_Calc8(frame, static_cast<unsigned short>(length + 3));
    frame[length + 4] = 0;
    frame[length + 5] = 0;
    return mConnector->writeBytes(frame, static_cast<unsigned short>(length + 6));
}

bool AntMessageFramer::processByte(unsigned char byte)
{
    // A frame that fails (a length no message can have, or a bad checksum) may have started
    // on a stray sync byte or lost one of its own bytes, so the next frame can begin anywhere
    // after its sync byte: those bytes go through the machine again, followed by whatever was
    // still waiting to be replayed. Everything replayed lies within one failed frame.
    unsigned char replay[MAX_FRAME];
    unsigned int replayCount = 0;
    unsigned int replayNext = 0;
    bool queued = false;
    unsigned char next = byte;
    for (;;) {
        const Step step = receive(next);
        if (step == Step::QUEUED) {
            queued = true;
        } else if (step == Step::FAILED) {
            unsigned char again[MAX_FRAME];
            unsigned int count = 0;
            for (unsigned int i = 1; i <= mFailedEnd; ++i) {
                again[count++] = mFrame[i];
            }
            while (replayNext < replayCount) {
                again[count++] = replay[replayNext++];
            }
            std::memcpy(replay, again, count);
            replayCount = count;
            replayNext = 0;
        }
        if (replayNext == replayCount) {
            return queued;
        }
        next = replay[replayNext++];
    }
}

AntMessageFramer::Step AntMessageFramer::receive(unsigned char byte)
{
    if (mReceiveIndex == 0) {
        if (byte == SYNC) {
            mFrame[0] = SYNC;
            mRunningXor = SYNC;
            mFrameEnd = 2;
            mReceiveIndex = 1;
        }
        return Step::MORE;
    }
    if (mReceiveIndex == 1) {
        mFrame[1] = byte;
        if (byte > MAX_PAYLOAD) {
            return fail(1);
        }
        mFrameEnd = byte + 3u;
        mRunningXor ^= byte;
        mReceiveIndex = 2;
        return Step::MORE;
    }
    mFrame[mReceiveIndex] = byte;
    mRunningXor ^= byte;
    if (mReceiveIndex < mFrameEnd) {
        ++mReceiveIndex;
        return Step::MORE;
    }
    if (mRunningXor != 0) {
        return fail(mReceiveIndex);
    }
    bool queued = false;
    mMutex.lock();
    const unsigned int before = mWriteIndex;
    processMessage();
    queued = mWriteIndex != before;
    mMutex.unlock();
    mReceiveIndex = 0;
    return queued ? Step::QUEUED : Step::MORE;
}

AntMessageFramer::Step AntMessageFramer::fail(unsigned int lastIndex)
{
    mMutex.lock();
    mErrorKind = ERROR_CHECKSUM;
    mErrorDetail = CHECKSUM_ERROR_DETAIL;
    mMutex.unlock();
    mFailedEnd = lastIndex;
    mReceiveIndex = 0;
    return Step::FAILED;
}

void AntMessageFramer::processMessage()
{
    checkResponseList();
    if ((mWriteIndex + 1) % mQueueSize == mReadIndex) {
        mErrorKind = ERROR_QUEUE_FULL;
        mErrorDetail = 0;
        return;
    }
    Entry& entry = mQueue[mWriteIndex];
    entry.length = mFrame[1];
    entry.id = mFrame[2];
    const unsigned int stored = entry.length < MAX_PAYLOAD ? entry.length : MAX_PAYLOAD;
    std::memcpy(entry.payload, mFrame + 3, stored);
    std::memset(entry.payload + stored, 0, MAX_PAYLOAD - stored);
    mWriteIndex = (mWriteIndex + 1) % mQueueSize;
}

void AntMessageFramer::checkResponseList()
{
    mMutex.lock();
    const unsigned int length = mFrame[1];
    const unsigned char* payload = mFrame + 3;
    for (AntMessageResponse* r = mResponseList; r != nullptr; r = r->next) {
        if (r->filled || r->messageId != mFrame[2]) {
            continue;
        }
        const unsigned int match =
            r->matchLength < AntMessageResponse::DATA_SIZE ? r->matchLength : AntMessageResponse::DATA_SIZE;
        // A frame shorter than the pattern cannot match it: the bytes past its end are left
        // over from earlier frames.
        if (length < match || std::memcmp(r->data, payload, match) != 0) {
            continue;
        }
        r->receivedLength = static_cast<unsigned char>(length);
        const unsigned int end = length < static_cast<unsigned int>(AntMessageResponse::DATA_SIZE)
                                     ? length
                                     : AntMessageResponse::DATA_SIZE;
        for (unsigned int i = match; i < end; ++i) {
            r->data[i] = payload[i];
        }
        r->filled = true;
    }
    mMutex.unlock();
}

unsigned short AntMessageFramer::getMessage(void* out, unsigned short max)
{
    unsigned char* o = static_cast<unsigned char*>(out);
    const char* logText = nullptr;
    unsigned short result;

    mMutex.lock();
    if (mErrorKind != 0) {
        o[0] = mErrorKind;
        if (mErrorKind == ERROR_CHECKSUM) {
            o[1] = mErrorDetail;
        }
        mErrorKind = 0;
        mErrorDetail = 0;
        logText = "AntMessageFramer getMessage error DSI_FRAMER_ANT_ESERIAL";
        result = ERROR_REPORTED;
    } else if (mReadIndex == mWriteIndex) {
        result = QUEUE_EMPTY;
    } else {
        const Entry& entry = mQueue[mReadIndex];
        unsigned int n = entry.length;
        if (max != 0 && n >= max) {
            n = max;
        }
        if (n > MAX_PAYLOAD) {
            o[0] = ERROR_INVALID_SIZE;
            logText = "AntMessageFramer getMessage error DSI_FRAMER_ANT_EINVALID_SIZE";
            result = ERROR_REPORTED;
        } else {
            o[0] = entry.id;
            std::memcpy(o + 1, entry.payload, n);
            result = static_cast<unsigned short>(n);
        }
        mReadIndex = (mReadIndex + 1) % mQueueSize;
    }
    mMutex.unlock();

    // Logged outside the framer's lock so that the reader never waits on the logger.
    if (logText != nullptr) {
        logDebug(logText);
    }
    return result;
}

} // namespace vant::ant

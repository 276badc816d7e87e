// Feeds arbitrary received bytes to the framer and checks what it queues against a plain
// model of the frame format: exactly the frames whose checksum holds are queued, in order,
// with their id and first payload bytes; a bad checksum is reported; reads with any cap
// write only within the caller's buffer (ASan checks that).
#include "ant/AntMessageFramer.h"
#include "core/Log.h"
#include "core/Logger.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using vant::ant::AntMessageFramer;

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Keep the framer's debug lines off the console.
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const unsigned short cap = data[0] % 48; // 0 reads uncapped
    ++data;
    --size;

    std::unique_ptr<AntMessageFramer> framer = std::make_unique<AntMessageFramer>(nullptr);
    std::vector<std::vector<uint8_t>> good;
    bool badSeen = false;
    std::vector<uint8_t> frame;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        bool complete = false;
        if (frame.empty()) {
            if (b == AntMessageFramer::SYNC) {
                frame.push_back(b);
            }
        } else {
            frame.push_back(b);
            complete = frame.size() >= 4 && frame.size() == frame[1] + 4u;
        }
        bool valid = false;
        if (complete) {
            uint8_t sum = 0;
            for (uint8_t f : frame) {
                sum ^= f;
            }
            valid = sum == 0;
            if (valid) {
                good.push_back(frame);
            } else {
                badSeen = true;
            }
            frame.clear();
        }
        check(framer->processByte(b) == valid);
    }

    const size_t outSize =
        1 + (cap == 0 || cap > AntMessageFramer::MAX_PAYLOAD ? AntMessageFramer::MAX_PAYLOAD : cap);
    std::unique_ptr<uint8_t[]> out(new uint8_t[outSize]);
    if (badSeen) {
        check(framer->getMessage(out.get(), cap) == AntMessageFramer::ERROR_REPORTED);
        check(out[0] == AntMessageFramer::ERROR_CHECKSUM &&
              out[1] == AntMessageFramer::CHECKSUM_ERROR_DETAIL);
    }
    for (const std::vector<uint8_t>& f : good) {
        const unsigned int length = f[1];
        const unsigned int n = cap != 0 && length >= cap ? cap : length;
        const unsigned short result = framer->getMessage(out.get(), cap);
        if (n > AntMessageFramer::MAX_PAYLOAD) {
            check(result == AntMessageFramer::ERROR_REPORTED &&
                  out[0] == AntMessageFramer::ERROR_INVALID_SIZE);
        } else {
            check(result == n && out[0] == f[2]);
            check(std::memcmp(out.get() + 1, f.data() + 3, n) == 0);
        }
    }
    check(framer->getMessage(out.get(), cap) == AntMessageFramer::QUEUE_EMPTY);
    return 0;
}

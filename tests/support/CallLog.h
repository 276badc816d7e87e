#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace support {

// The calls that the recording render fakes received, in order, each as "label.operation(arguments)".
// Shared by every fake of one test, so the order across objects shows too.
class CallLog
{
public:
    void add(const std::string& call) { calls.push_back(call); }

    // The calls so far; the log starts empty again.
    std::vector<std::string> take()
    {
        std::vector<std::string> taken = std::move(calls);
        calls.clear();
        return taken;
    }

    std::vector<std::string> calls;
};

using SharedCallLog = std::shared_ptr<CallLog>;

} // namespace support

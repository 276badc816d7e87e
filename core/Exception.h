#pragma once

#include "core/String.h"

#include <cstdint>
#include <exception>

namespace rezezaz {
namespace core {

// What the engine throws: an error code and a description.
class Exception : public std::exception
{
public:
    // The description is "unknown".
    explicit Exception(int error);
    // The code is -1.
    explicit Exception(const char* description);
    Exception(int error, const char* description);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const char* what() const noexcept override;
    int getError() const { return mError; }
    const char* getDescription() const;

private:
    int32_t mError;
    String mDescription;
};

} // namespace core
} // namespace rezezaz

#include "core/Exception.h"

namespace rezezaz {
namespace core {

Exception::Exception(int error) : mError(error), mDescription("unknown") {}

Exception::Exception(const char* description) : mError(-1), mDescription(description) {}

Exception::Exception(int error, const char* description) : mError(error), mDescription(description) {}

Exception::Exception(const Exception& other)
    : std::exception(other), mError(other.mError), mDescription(other.mDescription)
{}

Exception& Exception::operator=(const Exception& other)
{
    mError = other.mError;
    mDescription = other.mDescription;
    return *this;
}

Exception::~Exception() {}

const char* Exception::what() const noexcept
{
    return mDescription.c_str();
}

const char* Exception::getDescription() const
{
    return mDescription.c_str();
}

} // namespace core
} // namespace rezezaz

#include "render/IndexBufferAccessor.h"

#include <cstring>

namespace rezezaz::render {

IndexBufferAccessor::IndexBufferAccessor(IndexBuffer* buffer_, int access)
{
    if (buffer_ != nullptr) {
        lock(buffer_, buffer_->getIndexFormat(), access);
    }
}

IndexBufferAccessor::~IndexBufferAccessor()
{
    unlock();
}

void IndexBufferAccessor::lock(Buffer* buffer_, IndexBuffer::IndexFormat indexFormat_, int access)
{
    unlock();
    if (buffer_ == nullptr) {
        return;
    }
    buffer = buffer_;
    indexFormat = indexFormat_;
    data = buffer->lock(access);
}

void IndexBufferAccessor::unlock()
{
    if (buffer != nullptr) {
        buffer->unlock();
    }
    buffer = nullptr;
    data = nullptr;
}

void IndexBufferAccessor::set(int i, uint32_t index)
{
    if (data == nullptr || !slotHoldsIndex()) {
        return;
    }
    unsigned char* at = data + static_cast<ptrdiff_t>(i) * indexFormat;
    if (indexFormat == IndexBuffer::IndexFormat_UINT8) {
        *at = static_cast<uint8_t>(index);
    } else if (indexFormat == IndexBuffer::IndexFormat_UINT16) {
        uint16_t value = static_cast<uint16_t>(index);
        std::memcpy(at, &value, sizeof(value));
    } else {
        std::memcpy(at, &index, sizeof(index));
    }
}

uint32_t IndexBufferAccessor::get(int i) const
{
    if (data == nullptr || !slotHoldsIndex()) {
        return 0;
    }
    const unsigned char* at = data + static_cast<ptrdiff_t>(i) * indexFormat;
    if (indexFormat == IndexBuffer::IndexFormat_UINT8) {
        return *at;
    }
    if (indexFormat == IndexBuffer::IndexFormat_UINT16) {
        uint16_t value;
        std::memcpy(&value, at, sizeof(value));
        return value;
    }
    uint32_t value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

} // namespace rezezaz::render

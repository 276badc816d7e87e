#pragma once

#include "core/IntrusivePointer.h"
#include "core/io/MemoryStream.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace contenttest {

// Little-endian bytes of a mesh file, written by hand: the fixtures of the mesh reader's tests.
struct TMSHBytes
{
    std::vector<unsigned char> bytes;

    TMSHBytes& u8(uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    TMSHBytes& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    TMSHBytes& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    TMSHBytes& i32(int32_t v) { return u32(uint32_t(v)); }
    TMSHBytes& f32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return u32(bits);
    }
    TMSHBytes& str(const std::string& s)
    {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return u8(0);
    }
    TMSHBytes& raw(const std::vector<unsigned char>& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    TMSHBytes& zeros(size_t n)
    {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    TMSHBytes& header(uint32_t version = 0x00010001) { return u32(0x544D5348).u32(version); }
    TMSHBytes& block(int32_t type, const TMSHBytes& payload)
    {
        i32(type).i32(int32_t(payload.bytes.size()));
        return raw(payload.bytes);
    }

    // A mesh payload with no transform, no bound and the given submeshes (already encoded), then
    // the shared vertex data and assignment lists given as bytes.
    static TMSHBytes mesh(const std::vector<TMSHBytes>& subMeshes, const TMSHBytes& tail)
    {
        TMSHBytes m;
        m.u8(0).i32(0).u32(uint32_t(subMeshes.size()));
        for (const TMSHBytes& s : subMeshes) {
            m.raw(s.bytes);
        }
        return m.raw(tail.bytes);
    }
    // A submesh without own vertices, index data or transform.
    static TMSHBytes subMesh(const std::string& materialName)
    {
        TMSHBytes s;
        return s.u32(0).u32(0).str(materialName).str("").u8(0).u8(0).i32(0);
    }
    // No shared vertex data and no assignment lists.
    static TMSHBytes noVertices() { return TMSHBytes().u32(0).u32(0); }

    rezezaz::core::IntrusivePointer<rezezaz::core::io::MemoryStream> stream() const
    {
        auto* copy = new unsigned char[bytes.size() + 1];
        if (!bytes.empty()) {
            std::memcpy(copy, bytes.data(), bytes.size());
        }
        return new rezezaz::core::io::MemoryStream(copy, int(bytes.size()), int(bytes.size()), true);
    }
};

} // namespace contenttest

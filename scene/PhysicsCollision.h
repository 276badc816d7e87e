#pragma once

#include "core/math/Vector3.h"

#include <cstdint>

namespace rezezaz::scene {

class Node;

// The scene's record of one hit of a trace or a step. A fresh record means "nothing hit": time 1,
// zero vectors, no collider, scope 0. The collider node is named, not owned.
struct PhysicsCollision
{
    // Fraction 0 to 1 of the traced segment at the hit; 1 = nothing hit.
    float time = 1.0f;
    core::math::Vector3 point;
    core::math::Vector3 normal;
    core::math::Vector3 velocity;
    // The node of the struck solid; null for the world geometry or when nothing was hit.
    Node* collider = nullptr;
    int32_t scope = 0;

    void reset() { *this = PhysicsCollision(); }
};

} // namespace rezezaz::scene

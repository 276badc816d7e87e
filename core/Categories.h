#pragma once

#include "core/String.h"

namespace rezezaz {
namespace core {

// The engine's logging category names. Each is its parent's name and a suffix.
class Categories
{
public:
    Categories() = delete;

    static const String REZEZAZ;
    static const String REZEZAZ_CORE;
    static const String REZEZAZ_CORE_PROFILE;
    static const String REZEZAZ_INPUT;
    static const String REZEZAZ_PHYSICS;
    static const String REZEZAZ_NET;
    static const String REZEZAZ_RENDER;
    static const String REZEZAZ_AUDIO;
    static const String REZEZAZ_SCENE;
    static const String REZEZAZ_SCENE_BSP;
    static const String REZEZAZ_SCENE_NODE;
    static const String REZEZAZ_SCENE_STUDIO;
    static const String REZEZAZ_SCENE_TERRAIN;
    static const String REZEZAZ_APP;
};

} // namespace core
} // namespace rezezaz

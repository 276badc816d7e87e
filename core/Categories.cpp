#include "core/Categories.h"

namespace rezezaz {
namespace core {

// Defined in dependency order: each name is built from one defined above it.
const String Categories::REZEZAZ("rezezaz");
const String Categories::REZEZAZ_CORE(Categories::REZEZAZ + ".core");
const String Categories::REZEZAZ_CORE_PROFILE(Categories::REZEZAZ_CORE + ".Profile");
const String Categories::REZEZAZ_INPUT(Categories::REZEZAZ + ".input");
const String Categories::REZEZAZ_PHYSICS(Categories::REZEZAZ + ".physics");
const String Categories::REZEZAZ_NET(Categories::REZEZAZ + ".net");
const String Categories::REZEZAZ_RENDER(Categories::REZEZAZ + ".render");
const String Categories::REZEZAZ_AUDIO(Categories::REZEZAZ + ".audio");
const String Categories::REZEZAZ_SCENE(Categories::REZEZAZ + ".scene");
const String Categories::REZEZAZ_SCENE_BSP(Categories::REZEZAZ_SCENE + ".bsp");
const String Categories::REZEZAZ_SCENE_NODE(Categories::REZEZAZ_SCENE + ".node");
const String Categories::REZEZAZ_SCENE_STUDIO(Categories::REZEZAZ_SCENE + ".studio");
const String Categories::REZEZAZ_SCENE_TERRAIN(Categories::REZEZAZ_SCENE + ".terrain");
const String Categories::REZEZAZ_APP(Categories::REZEZAZ + ".app");

} // namespace core
} // namespace rezezaz

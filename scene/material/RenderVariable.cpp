#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

void RenderVariable::linked(RenderPass*) {}

} // namespace rezezaz::scene::material

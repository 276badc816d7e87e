#pragma once

#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "scene/material/RenderVariable.h"

#include <string>
#include <typeinfo>
#include <vector>

namespace support {

// The names of a material's paths, in order.
inline std::vector<std::string> pathNames(const rezezaz::scene::material::Material& material)
{
    std::vector<std::string> names;
    for (int i = 0; i < material.getNumPaths(); ++i) {
        names.push_back(material.getPath(i)->getName().c_str());
    }
    return names;
}

// The class of each variable of a pass with its name and scope, as "name:Class:scope".
inline std::vector<std::string> passVariables(const rezezaz::scene::material::RenderPass& pass)
{
    std::vector<std::string> names;
    for (int i = 0; i < pass.getNumVariables(); ++i) {
        const auto& data = pass.getVariable(i);
        const rezezaz::scene::material::RenderVariable& variable = *data.variable;
        std::string type = typeid(variable).name();
        type = type.substr(type.find("material") + 8);
        type = type.substr(type.find_first_not_of("0123456789"));
        type = type.substr(0, type.find('E'));
        names.push_back(std::string(data.name.c_str()) + ":" + type + ":" + std::to_string(data.scope));
    }
    return names;
}

} // namespace support

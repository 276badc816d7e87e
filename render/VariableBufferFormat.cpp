#include "render/VariableBufferFormat.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "render/ComponentSize.h"

namespace rezezaz::render {

namespace {

// Rows of a matrix shape (5 to 13), columns likewise; 0 for every other shape.
int shapeRows(int shape)
{
    return (shape >= 5 && shape <= 13) ? 2 + (shape - 5) / 3 : 0;
}

int shapeColumns(int shape)
{
    return (shape >= 5 && shape <= 13) ? 2 + (shape - 5) % 3 : 0;
}

int shapeFactor(int shape)
{
    if (shape >= 1 && shape <= 4) {
        return 4;
    }
    if (shape >= 5 && shape <= 13) {
        return 4 * shapeRows(shape);
    }
    return 1;
}

void flatten(const VariableBufferFormat::Variable& parent,
             core::Collection<core::SharedPointer<VariableBufferFormat::Variable>>& out)
{
    for (const core::SharedPointer<VariableBufferFormat::Variable>& member : parent.structVariables) {
        if (member.get() == nullptr) {
            continue;
        }
        member->fullName = member->name;
        out.add(member);
        flatten(*member, out);
    }
}

} // namespace

int VariableBufferFormat::getFormatSize(int format)
{
    const int size = format == Format_COLOR ? 4 : componentSize(getFormatType(format));
    return size * shapeFactor(getFormatShape(format));
}

int VariableBufferFormat::getFormatRows(int format)
{
    return shapeRows(getFormatShape(format));
}

int VariableBufferFormat::getFormatColumns(int format)
{
    return shapeColumns(getFormatShape(format));
}

core::String VariableBufferFormat::toString(const core::SharedPointer<Variable>& variable, const core::String& indent)
{
    if (variable.get() == nullptr) {
        return core::String();
    }
    core::String text = indent + variable->name + ":" + static_cast<int>(variable->index) + "\n";
    core::String inner = indent + "\t";
    for (const core::SharedPointer<Variable>& member : variable->structVariables) {
        text += toString(member, inner);
    }
    return text;
}

VariableBufferFormat::VariableBufferFormat(bool primary_, const core::String& name_, int dataSize_, int numVariables)
    : primary(primary_), name(name_), dataSize(dataSize_), structVariable(new Variable())
{
    if (numVariables > 0) {
        structVariable->structVariables.resize(numVariables);
    }
}

void VariableBufferFormat::setStructVariable(int index, const core::SharedPointer<Variable>& variable)
{
    core::Collection<core::SharedPointer<Variable>>& slots = structVariable->structVariables;
    if (index < 0 || index >= slots.size()) {
        core::Error::invalidParameters(core::Categories::REZEZAZ_RENDER, true,
                                       core::String("setStructVariable: no slot ") + index);
    }
    slots[index] = variable;
}

void VariableBufferFormat::compile()
{
    variables.clear();
    structVariable->name = name;
    flatten(*structVariable, variables);
    // Exchange sort: an entry of smaller index is swapped into position a at once, equal ones stay.
    for (int a = 0; a < variables.size(); ++a) {
        for (int b = a + 1; b < variables.size(); ++b) {
            if (variables[b]->index < variables[a]->index) {
                core::SharedPointer<Variable> held = variables[a];
                variables[a] = variables[b];
                variables[b] = held;
            }
        }
    }
}

} // namespace rezezaz::render

#pragma once

namespace rezezaz::render {

// Bytes of one component of a value type, the code vertex and variable formats share in their low
// byte (1 UINT8, 2 INT8, 3 INT16, 4 INT32, 5 FIXED32, 6 FLOAT32, 7 FLOAT64); 0 for any other code.
constexpr int componentSize(int type)
{
    switch (type) {
    case 1:
    case 2:
        return 1;
    case 3:
        return 2;
    case 4:
    case 5:
    case 6:
        return 4;
    case 7:
        return 8;
    default:
        return 0;
    }
}

} // namespace rezezaz::render

#include "render/VertexFormat.h"

namespace rezezaz::render {

int VertexFormat::getFormatSize(int format)
{
    if (format == Format_COLOR) {
        return 4;
    }
    int componentSize = 0;
    switch (getFormatType(format)) {
    case Type_UINT8:
    case Type_INT8:
        componentSize = 1;
        break;
    case Type_INT16:
        componentSize = 2;
        break;
    case Type_INT32:
    case Type_FIXED32:
    case Type_FLOAT32:
        componentSize = 4;
        break;
    case Type_FLOAT64:
        componentSize = 8;
        break;
    default:
        return 0;
    }
    int count = getFormatCount(format);
    return count != 0 ? componentSize * count : componentSize;
}

} // namespace rezezaz::render

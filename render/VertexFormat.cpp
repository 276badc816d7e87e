#include "render/VertexFormat.h"

#include "render/ComponentSize.h"

namespace rezezaz::render {

int VertexFormat::getFormatSize(int format)
{
    if (format == Format_COLOR) {
        return 4;
    }
    const int size = componentSize(getFormatType(format));
    const int count = getFormatCount(format);
    return count != 0 ? size * count : size;
}

} // namespace rezezaz::render

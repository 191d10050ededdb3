#include "support/GridIndices.h"

#include <algorithm>
#include <iterator>

ov::ovIndexBuffer* gridIndices(int columns, int rows) {
    const int vertexColumns = columns + 1;
    auto* indices = new ov::ovIndexBuffer(6 * columns * rows);
    int* index = indices->getData();
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const int corner = j * vertexColumns + i;
            const int quad[6] = {corner,
                                 corner + 1,
                                 corner + vertexColumns + 1,
                                 corner,
                                 corner + vertexColumns + 1,
                                 corner + vertexColumns};
            index = std::copy(std::begin(quad), std::end(quad), index);
        }
    }
    return indices;
}

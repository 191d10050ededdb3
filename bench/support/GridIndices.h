#pragma once

#include "scenegraph/ovBuffers.h"

// The triangles of a grid of columns x rows quads over (columns + 1) x (rows + 1)
// vertices laid out row by row, two per quad.
ov::ovIndexBuffer* gridIndices(int columns, int rows);

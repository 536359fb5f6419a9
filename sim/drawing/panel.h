// A display as a pilot sees it: the picture in its bezel, six buttons down each side with
// their labels beside the screen.
#pragma once

#include <array>
#include <string>

#include "sim/drawing/raster_surface.h"
#include "sim/formats/png_image.h"

namespace sim {

// labels[0..5] belong to the left buttons from top to bottom, labels[6..11] to the right ones;
// an empty label leaves its button unlabelled. Drawn with the display's cell size.
Image renderPanel(const RasterSurface& display, const std::array<std::string, 12>& labels);

}  // namespace sim

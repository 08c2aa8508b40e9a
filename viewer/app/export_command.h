// export_command.h — `cloudview export`: one cloud of a layer file as a
// raster, made the way a person makes it in the cloud tool.
#ifndef CLOUDS_VIEWER_APP_EXPORT_COMMAND_H
#define CLOUDS_VIEWER_APP_EXPORT_COMMAND_H

#include <string>

namespace cloudview {

class Viewer;

// Opens the layer file, opens its cloud tool, chooses "Cloud <cloud>"
// (1-based, as the tool lists them), types out into the image file field
// and presses the export button. An existing out is replaced only with
// overwrite. Returns the message the tool showed; throws ViewerError when
// there is no such cloud or the export did not succeed.
//
// With crs the GeoTIFF is georeferenced as it is written: its corners are
// the cloud's footprint, x from xposition - |xsize| to xposition + |xsize|
// and y likewise, north up, labelled with the system crs names. A raster
// names the system of a scene over it (for a model in degrees, the UTM
// zone the terrain warps it to); anything else is read by OGR's
// SetFromUserInput (EPSG:n, WKT, PROJ, a .prj file), never from the
// network. Systems in degrees are refused: cloud coordinates are metres.
// The crs is checked before anything is exported.
std::string exportCloud(Viewer &viewer, const std::string &layerFile, int cloud,
                        const std::string &out, bool overwrite, const std::string &crs = "");

}  // namespace cloudview

#endif

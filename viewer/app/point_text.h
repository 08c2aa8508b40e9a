// point_text.h — a scene point as the status bar shows it: its scene
// coordinates, and over a terrain its height on the model in metres, its
// longitude and latitude (WGS 84) and the coordinate system named.
#ifndef CLOUDS_VIEWER_APP_POINT_TEXT_H
#define CLOUDS_VIEWER_APP_POINT_TEXT_H

#include <string>

namespace cloudview {

class Viewer;

// "x 293770.9  y 9115766.1  z 225.0  height 45.0 m  7.99520°S 34.87110°W
// (SIRGAS 2000 / UTM zone 25S)"; without a terrain "x .. y .. z ..".
std::string pointText(const Viewer &viewer, const double point[3]);

}  // namespace cloudview

#endif

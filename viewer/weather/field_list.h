// field_list.h — the text `cloudview weather FILE --list` prints: each
// cloud field (level, valid time, units, the file's name for it), the grid
// (size, cell size, extent, coordinate system) and what else the file holds.
#ifndef CLOUDS_VIEWER_WEATHER_FIELD_LIST_H
#define CLOUDS_VIEWER_WEATHER_FIELD_LIST_H

#include <string>

#include "weather/cloud_fields.h"

namespace weather {

std::string listFields(const WeatherContents &contents);

}  // namespace weather

#endif

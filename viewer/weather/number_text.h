// number_text.h — a number as the weather messages and files write it.
#ifndef CLOUDS_VIEWER_WEATHER_NUMBER_TEXT_H
#define CLOUDS_VIEWER_WEATHER_NUMBER_TEXT_H

#include <cstdio>
#include <string>

namespace weather {

// printf's rendering of v in format: "%.6g" (the default) gives 2.5, 1e+06.
inline std::string numberText(double v, const char *format = "%.6g")
{
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

}  // namespace weather

#endif

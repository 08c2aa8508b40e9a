/* tolalib.h — the host's GL helpers. */
#ifndef CLOUDS_TOLALIB_H
#define CLOUDS_TOLALIB_H

#include "host_export.h"
#include "host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Binds a 2D texture name; 0 unbinds. */
HOST_API void hhgl_BindTextureEXT(uint32_t target, uint32_t name);
/* The view direction of the camera given by azimuth f and elevation e
 * (degrees), for a target at position, at the given distance.
 * The eye sits at position + distance * (cos e sin f, cos e cos f, sin e):
 * azimuth turns clockwise from +y (north) toward +x (east), elevation rises
 * from the horizon. out = position - eye, a vector of length distance from
 * the eye to the target: f = 0, e = 0 looks south (0, -distance, 0);
 * e = 90 looks straight down (0, 0, -distance). */
HOST_API void hhgl_GetTargetPosition(const double position[3], double f, double e,
                                     double distance, double out[3]);
/* Transforms count points of three doubles in place. */
HOST_API void hhgl_TransformVertices(double *points, int32_t count, HPolynomial *transform);

#ifdef __cplusplus
}
#endif

#endif

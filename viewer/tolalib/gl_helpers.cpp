// GL helpers of the host.
#include "tolalib.h"

#include <GL/gl.h>

#include <cmath>

extern "C" {

HOST_API void hhgl_BindTextureEXT(uint32_t target, uint32_t name) {
    glBindTexture(GLenum(target), GLuint(name));
}

HOST_API void hhgl_GetTargetPosition(const double position[3], double f, double e,
                                     double distance, double out[3]) {
    const double toRadians = M_PI / 180.0;
    const double azimuth = f * toRadians, elevation = e * toRadians;
    const double toEye[3] = {std::cos(elevation) * std::sin(azimuth),
                             std::cos(elevation) * std::cos(azimuth), std::sin(elevation)};
    // Literally position - eye rather than -distance * toEye: far from the
    // origin the two differ in the last bits, and the difference is the
    // defined value. Through locals, as out may be position itself.
    double eye[3], direction[3];
    for (int i = 0; i < 3; ++i) {
        eye[i] = position[i] + distance * toEye[i];
        direction[i] = position[i] - eye[i];
    }
    for (int i = 0; i < 3; ++i)
        out[i] = direction[i];
}

// Without a transform the points stay as they are. The polynomial transform
// of the selection box is not defined yet, so for now any transform does
// the same.
HOST_API void hhgl_TransformVertices(double *, int32_t, HPolynomial *) {}

} // extern "C"

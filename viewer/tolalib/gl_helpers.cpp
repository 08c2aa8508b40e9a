// GL helpers of the host.
#include "tolalib.h"
#include "tolatoollib/selection.h"

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

// The selection box's transforms scale and move each axis on its own.
// Without a transform the points stay as they are.
HOST_API void hhgl_TransformVertices(double *points, int32_t count, HPolynomial *transform) {
    if (!points || !transform)
        return;
    for (int32_t p = 0; p < count; ++p)
        for (int i = 0; i < 3; ++i) {
            double &v = points[size_t(p) * 3 + size_t(i)];
            v = transform->scale[i] * v + transform->offset[i];
        }
}

} // extern "C"

// gl_box.h — a box's twelve edges drawn as separate GL lines, each corner
// shared by three: the shape the framing code groups into pieces.
#ifndef CLOUDS_TESTS_SUPPORT_GL_BOX_H
#define CLOUDS_TESTS_SUPPORT_GL_BOX_H

#include <GL/gl.h>

inline void drawBoxEdges(const double a[3], const double b[3])
{
    glBegin(GL_LINES);
    for (int edge = 0; edge < 12; ++edge) {
        const int axis = edge / 4, other1 = (axis + 1) % 3, other2 = (axis + 2) % 3;
        double p[3], q[3];
        for (int k = 0; k < 3; ++k)
            p[k] = q[k] = a[k];
        p[other1] = q[other1] = (edge & 1) ? b[other1] : a[other1];
        p[other2] = q[other2] = (edge & 2) ? b[other2] : a[other2];
        q[axis] = b[axis];
        glVertex3dv(p);
        glVertex3dv(q);
    }
    glEnd();
}

#endif

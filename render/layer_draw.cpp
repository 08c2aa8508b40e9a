#include "render/layer_draw.h"

#include <GL/gl.h>

#include <cmath>

#include "plugin/records.h"
#include "synth/slice_texture.h"
#include "tolalib.h"

int32_t firstDrawPending = 1;

namespace {

// The OpenGL 1.1 meaning of "all attributes": the later headers' value
// (0xFFFFFFFF) is not what the host's GL expects.
const GLbitfield kAllAttribBits11 = 0xFFFFF;

const GLfloat kTexLow = 0.001f;
const GLfloat kTexHigh = 0.999f;

struct CloudBox {
    double x0, x1, y0, y1, z0, z1;
};

CloudBox boxOf(const CloudRecord &c, const CloudLayer &layer)
{
    CloudBox b;
    b.x0 = c.xposition - c.xsize + layer.origin[0];
    b.x1 = c.xposition + c.xsize + layer.origin[0];
    b.y0 = c.yposition - c.ysize + layer.origin[1];
    b.y1 = c.yposition + c.ysize + layer.origin[1];
    b.z0 = c.zposition - c.zsize + layer.origin[2];
    b.z1 = c.zposition + c.zsize + layer.origin[2];
    return b;
}

enum Axis { kAxisX = 0, kAxisY = 1, kAxisZ = 2 };

void quadZ(const CloudBox &b, double p)
{
    glTexCoord2f(kTexLow, kTexLow);
    glVertex3d(b.x0, b.y0, p);
    glTexCoord2f(kTexHigh, kTexLow);
    glVertex3d(b.x0, b.y1, p);
    glTexCoord2f(kTexHigh, kTexHigh);
    glVertex3d(b.x1, b.y1, p);
    glTexCoord2f(kTexLow, kTexHigh);
    glVertex3d(b.x1, b.y0, p);
}

void quadY(const CloudBox &b, double p)
{
    glTexCoord2f(kTexLow, kTexHigh);
    glVertex3d(b.x0, p, b.z0);
    glTexCoord2f(kTexLow, kTexLow);
    glVertex3d(b.x0, p, b.z1);
    glTexCoord2f(kTexHigh, kTexLow);
    glVertex3d(b.x1, p, b.z1);
    glTexCoord2f(kTexHigh, kTexHigh);
    glVertex3d(b.x1, p, b.z0);
}

void quadX(const CloudBox &b, double p)
{
    glTexCoord2f(kTexLow, kTexHigh);
    glVertex3d(p, b.y0, b.z0);
    glTexCoord2f(kTexLow, kTexLow);
    glVertex3d(p, b.y0, b.z1);
    glTexCoord2f(kTexHigh, kTexLow);
    glVertex3d(p, b.y1, b.z1);
    glTexCoord2f(kTexHigh, kTexHigh);
    glVertex3d(p, b.y1, b.z0);
}

// One family of parallel quads from low to high along its axis.
void drawFamily(const CloudRecord &cloud, const float base[3], const double viewDir[3],
                Axis axis, int32_t n, double low, double high, const SliceTexture *stack,
                const CloudBox &box)
{
    const double length = std::sqrt(viewDir[0] * viewDir[0] + viewDir[1] * viewDir[1] +
                                    viewDir[2] * viewDir[2]);
    const double shade = std::fabs(viewDir[axis]) / length;
    glColor3f(static_cast<GLfloat>(base[0] * shade), static_cast<GLfloat>(base[1] * shade),
              static_cast<GLfloat>(base[2] * shade));
    // The entry index divides by n: a count of 0 has no planes to place, and
    // a negative count draws nothing.
    if (n <= 0)
        return;
    if (n > CLOUD_SLICES_MAX)
        n = CLOUD_SLICES_MAX;
    const double step = (high - low) / n;
    double position = low;
    // 64-bit k and product: k runs to n inclusive, which for the largest
    // count would overflow an int32 loop, and (layers - 1) × k may pass
    // 2^31; the quotient always lies in 0..layers - 1.
    for (int64_t k = 0; k <= n; ++k) {
        const int32_t entry =
            static_cast<int32_t>((static_cast<int64_t>(cloud.layers) - 1) * k / n);
        hhgl_BindTextureEXT(GL_TEXTURE_2D, stack[entry].texName);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBegin(GL_QUADS);
        if (axis == kAxisZ)
            quadZ(box, position);
        else if (axis == kAxisY)
            quadY(box, position);
        else
            quadX(box, position);
        glEnd();
        // Accumulated, as the planes have always been placed.
        position = position + step;
    }
}

}  // namespace

void cloudDrawSlices(const CloudRecord &cloud, const double viewDir[3], const CloudLayer &layer)
{
    // A cloud whose bake failed or was refused has no stacks to bind from.
    if (!cloud.hTextures || !cloud.vTextures || cloud.layers < 1)
        return;
    const float base[3] = {cloud.red * cloud.density, cloud.green * cloud.density,
                           cloud.blue * cloud.density};
    const CloudBox b = boxOf(cloud, layer);
    drawFamily(cloud, base, viewDir, kAxisZ, cloud.zslice, b.z0, b.z1, cloud.hTextures, b);
    drawFamily(cloud, base, viewDir, kAxisY, cloud.yslice, b.y0, b.y1, cloud.vTextures, b);
    drawFamily(cloud, base, viewDir, kAxisX, cloud.xslice, b.x0, b.x1, cloud.vTextures, b);
}

void cloudDrawBox(const CloudRecord &cloud, const CloudLayer &layer)
{
    // The outline shows the cloud's own colour, not scaled by its density.
    glColor4f(cloud.red, cloud.green, cloud.blue, 1.0f);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    const CloudBox b = boxOf(cloud, layer);
    glBegin(GL_LINES);
    glVertex3d(b.x1, b.y0, b.z0);
    glVertex3d(b.x1, b.y0, b.z1);
    glVertex3d(b.x1, b.y1, b.z0);
    glVertex3d(b.x1, b.y1, b.z1);
    glVertex3d(b.x0, b.y1, b.z0);
    glVertex3d(b.x0, b.y1, b.z1);
    glEnd();
    glBegin(GL_LINE_STRIP);
    glVertex3d(b.x0, b.y0, b.z0);
    glVertex3d(b.x1, b.y0, b.z0);
    glVertex3d(b.x1, b.y1, b.z0);
    glVertex3d(b.x0, b.y1, b.z0);
    glVertex3d(b.x0, b.y0, b.z0);
    glVertex3d(b.x0, b.y0, b.z1);
    glVertex3d(b.x1, b.y0, b.z1);
    glVertex3d(b.x1, b.y1, b.z1);
    glVertex3d(b.x0, b.y1, b.z1);
    glVertex3d(b.x0, b.y0, b.z1);
    glEnd();
}

int32_t layerDraw(HLayer *hostLayer, double, double, double, int32_t, double e, double f,
                  int32_t)
{
    CloudLayer *layer = static_cast<CloudLayer *>(hostLayer->instance);
    HScene *scene = layer->scene;
    const HSceneOps *ops = scene ? scene->ops : nullptr;

    // Once per process, before anything else and whether or not this layer
    // is shown.
    if (firstDrawPending) {
        if (ops && ops->sceneActionOff)
            ops->sceneActionOff(scene, "delcloud");
        firstDrawPending = 0;
    }
    if (!layer->visible)
        return 1;

    const double position[3] = {0.0, 0.0, 0.0};
    double viewDir[3] = {0.0, 0.0, 0.0};
    hhgl_GetTargetPosition(position, f, e, 1.0, viewDir);
    if (ops && ops->sceneGetOrigin)
        ops->sceneGetOrigin(scene, 0, &layer->origin[0], &layer->origin[1], &layer->origin[2]);

    glPushAttrib(kAllAttribBits11);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_STENCIL_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);

    for (const CloudRecord *cloud = layer->clouds; cloud; cloud = cloud->next) {
        if (!layer->boxOnly)
            cloudDrawSlices(*cloud, viewDir, *layer);
        else
            cloudDrawBox(*cloud, *layer);
    }

    hhgl_BindTextureEXT(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glPopAttrib();

    layer->boxOnly = 0;
    return 1;
}

int32_t layerDrawBoxes(HLayer *hostLayer, double a, double b, double c, int32_t d, double e,
                       double f, int32_t g)
{
    static_cast<CloudLayer *>(hostLayer->instance)->boxOnly = 1;
    layerDraw(hostLayer, a, b, c, d, e, f, g);
    return 0;
}

int32_t layerDrawPass(HLayer *hostLayer, double a, double b, double c, int32_t d, double e,
                      double f, int32_t g)
{
    return layerDraw(hostLayer, a, b, c, d, e, f, g);
}

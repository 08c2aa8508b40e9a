#include "terrain/terrain.h"

#include <GL/gl.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "terrain/terrain_error.h"
#include "terrain/tile_mesh.h"

namespace terrain {

std::unique_ptr<Terrain> Terrain::open(const TerrainSettings &settings, std::vector<std::string> &warnings)
{
    if (!exaggerationInRange(settings.exaggeration)) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", kMinExaggeration, kMaxExaggeration);
        throw TerrainError(settings.model + ": the exaggeration must be a number from " + range);
    }
    HeightModel model = readHeightModel(settings.model, warnings);
    DrapeImage drape;
    if (!settings.drape.empty())
        drape = readDrape(settings.drape, model, warnings);
    const float k = float(settings.exaggeration);
    if (k != 1.0f) {
        for (float &h : model.heights)
            h *= k;
        model.low *= k;
        model.high *= k;
    }
    return std::unique_ptr<Terrain>(new Terrain(settings, std::move(model), std::move(drape)));
}

Terrain::Terrain(const TerrainSettings &settings, HeightModel model, DrapeImage drape)
    : settings_(settings), model_(std::move(model)), drape_(std::move(drape))
{
    tree_ = std::make_unique<TileTree>(model_);
    if (!model_.wkt.empty()) {
        OGRSpatialReferenceH from = OSRNewSpatialReference(model_.wkt.c_str());
        OGRSpatialReferenceH to = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(to, 4326);
        OSRSetAxisMappingStrategy(from, OAMS_TRADITIONAL_GIS_ORDER);
        OSRSetAxisMappingStrategy(to, OAMS_TRADITIONAL_GIS_ORDER);
        toLonLat_ = OCTNewCoordinateTransformation(from, to);
        OSRDestroySpatialReference(from);
        OSRDestroySpatialReference(to);
    }
}

Terrain::~Terrain()
{
    for (auto &entry : built_)
        glDeleteLists(entry.second.list, 1);
    if (texture_)
        glDeleteTextures(1, &texture_);
    if (toLonLat_)
        OCTDestroyCoordinateTransformation(static_cast<OGRCoordinateTransformationH>(toLonLat_));
}

host::Extent Terrain::extent() const
{
    const double *gt = model_.geoTransform;
    host::Extent e;
    e.x1 = gt[0];
    e.x2 = gt[0] + model_.width * gt[1];
    e.y1 = gt[3] + model_.height * gt[5];
    e.y2 = gt[3];
    if (e.x1 > e.x2)
        std::swap(e.x1, e.x2);
    if (e.y1 > e.y2)
        std::swap(e.y1, e.y2);
    e.z1 = model_.low;
    e.z2 = model_.high;
    return e;
}

host::Vec3 Terrain::localOrigin() const
{
    const host::Extent e = extent();
    return {std::round(0.5 * (e.x1 + e.x2)), std::round(0.5 * (e.y1 + e.y2)), 0.0};
}

bool Terrain::intersect(const double start[3], const double second[3], double *t) const
{
    return tree_->intersect(start, second, t);
}

double Terrain::surfaceZ(double x, double y) const
{
    return tree_->heightAt(x, y);
}

double Terrain::heightAt(double x, double y) const
{
    return tree_->heightAt(x, y) / settings_.exaggeration;
}

bool Terrain::lonLat(double x, double y, double *lon, double *lat) const
{
    if (!toLonLat_)
        return false;
    double px = x, py = y;
    if (!OCTTransform(static_cast<OGRCoordinateTransformationH>(toLonLat_), 1, &px, &py, nullptr))
        return false;
    *lon = px;
    *lat = py;
    return true;
}

std::string Terrain::frameDescription() const
{
    return model_.warpedFrom.empty() ? model_.frameName
                                     : model_.frameName + " (warped from " + model_.warpedFrom + ")";
}

size_t Terrain::memoryBytes() const
{
    size_t bytes = model_.heights.size() * sizeof(float) + tree_->memoryBytes() +
                   size_t(drape_.width) * size_t(drape_.height) * 3;
    for (const auto &entry : built_)
        bytes += entry.second.bytes;
    return bytes;
}

Terrain::Built &Terrain::tile(const TileKey &key)
{
    auto found = built_.find(key);
    if (found != built_.end()) {
        found->second.used = frame_;
        return found->second;
    }
    const TileMesh mesh = buildTileMesh(model_, tree_->span(key), draped());
    Built built;
    built.used = frame_;
    built.bytes = mesh.bytes();
    std::copy(mesh.origin, mesh.origin + 3, built.origin);
    // Client arrays are read when the list is compiled: the list keeps
    // its own copy and the mesh can go.
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mesh.positions.data());
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, mesh.colours.data());
    if (draped()) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, mesh.texCoords.data());
    }
    built.list = glGenLists(1);
    glNewList(built.list, GL_COMPILE);
    glDrawElements(GL_TRIANGLES, GLsizei(mesh.indices.size()), GL_UNSIGNED_INT, mesh.indices.data());
    glEndList();
    return built_.emplace(key, built).first->second;
}

void Terrain::evict()
{
    if (built_.size() <= kTileCacheSize)
        return;
    std::vector<std::pair<uint64_t, TileKey>> old;
    for (const auto &entry : built_)
        if (entry.second.used != frame_)
            old.push_back({entry.second.used, entry.first});
    std::sort(old.begin(), old.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &item : old) {
        if (built_.size() <= kTileCacheSize)
            break;
        auto it = built_.find(item.second);
        glDeleteLists(it->second.list, 1);
        built_.erase(it);
    }
}

void Terrain::draw(const host::Camera &camera, double pixelError)
{
    ++frame_;
    const std::vector<TileKey> keys = tree_->select(camera, pixelError);
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT |
                 GL_TEXTURE_BIT | GL_TRANSFORM_BIT | GL_LIGHTING_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    // Pushed back a little, so that what stands on the ground wins ties:
    // by a constant only, since a slope term pushes triangles seen edge-on
    // along ridges back without bound, behind the flat land that fills the
    // holes, and that land then shows through as dark dots.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(0.0f, 1.0f);
    if (draped()) {
        if (!texture_) {
            glGenTextures(1, &texture_);
            glBindTexture(GL_TEXTURE_2D, texture_);
            // Whatever unpacking others left set (a bake may leave its row
            // length), the drape's rows are tightly packed.
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
            glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, drape_.width, drape_.height, 0, GL_RGB,
                         GL_UNSIGNED_BYTE, drape_.rgb.data());
            // GL holds the texels now.
            drape_.rgb.clear();
            drape_.rgb.shrink_to_fit();
        }
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (const TileKey &key : keys) {
        const Built &built = tile(key);
        // Each tile relative to its own origin: the eye's offset from it is
        // small, so the float pipeline keeps its precision.
        host::Camera local = camera;
        for (int i = 0; i < 3; ++i)
            local.target[size_t(i)] -= built.origin[i];
        glLoadMatrixd(local.viewMatrix().data());
        glCallList(built.list);
    }
    glPopMatrix();
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopClientAttrib();
    glPopAttrib();
    drawn_ = keys.size();
    evict();
}

}  // namespace terrain

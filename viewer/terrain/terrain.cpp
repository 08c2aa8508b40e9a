#include "terrain/terrain.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <gdal.h>

#include "terrain/terrain_error.h"
#include "terrain/tile_mesh.h"

namespace terrain {

namespace {

constexpr size_t kMiB = size_t(1) << 20;

// GDAL's block cache is the ground's too: an eighth of the budget.
void shareGdalCache(size_t mib)
{
    GDALSetCacheMax64(GIntBig(mib * kMiB / 8));
}

}  // namespace

std::unique_ptr<Terrain> Terrain::open(const TerrainSettings &settings, std::vector<std::string> &warnings,
                                       const BuildProgress &progress)
{
    if (!exaggerationInRange(settings.exaggeration)) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", kMinExaggeration, kMaxExaggeration);
        throw TerrainError(settings.model + ": the exaggeration must be a number from " + range);
    }
    const size_t mib = std::min(kMaxMemoryMiB, std::max(kMinMemoryMiB, settings.memoryMiB));
    shareGdalCache(mib);
    std::string source = settings.model;
    std::unique_ptr<ModelReader> reader = std::make_unique<ModelReader>(source, warnings);
    HeightModel model;
    const double samples = double(reader->header().width) * double(reader->header().height);
    const bool whole = samples <= kResidentSamples && samples * sizeof(float) <= double(mib * kMiB / 8);
    if (whole) {
        model = readHeightModel(*reader);
        reader.reset();
    } else {
        if (reader->overviewCount() == 0) {
            const OverviewSource built =
                withOverviews(settings.model, progress ? progress : terminalProgress(settings.model));
            if (!built.said.empty())
                warnings.push_back(built.said);
            source = built.open;
            std::vector<std::string> again;  // said already
            reader = std::make_unique<ModelReader>(source, again);
        }
        model = reader->header();
        if (!reader->range(&model.low, &model.high))
            throw TerrainError(settings.model + ": every sample is no data; there is no ground to draw");
    }
    std::unique_ptr<DrapeSource> drape;
    if (!settings.drape.empty()) {
        drape = std::make_unique<DrapeSource>(settings.drape, model.wkt, model.geoTransform, model.width,
                                              model.height, warnings);
        if (drape->empty())
            drape.reset();  // off the model: said, and the ground is shaded instead
    }
    const float k = float(settings.exaggeration);
    if (k != 1.0f) {
        for (float &h : model.heights)
            h *= k;
        model.low *= k;
        model.high *= k;
    }
    std::unique_ptr<Terrain> terrain(new Terrain(settings, std::move(model), std::move(drape)));
    terrain->settings_.memoryMiB = mib;
    if (reader) {
        terrain->source_ = source;
        terrain->reader_ = std::move(reader);
        terrain->streamed_ = std::make_unique<StreamedTree>(terrain->model_);
    } else {
        terrain->tree_ = std::make_unique<TileTree>(terrain->model_);
    }
    return terrain;
}

Terrain::Terrain(const TerrainSettings &settings, HeightModel model, std::unique_ptr<DrapeSource> drape)
    : settings_(settings), model_(std::move(model)), drape_(std::move(drape))
{
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
    loader_.reset();  // its thread first
    for (auto &entry : held_) {
        release(entry.second);
    }
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
    if (tree_)
        return tree_->intersect(start, second, t);
    return streamed_->intersect(start, second, t, [this](const TileKey &key) { loadNow(key); });
}

double Terrain::surfaceZ(double x, double y) const
{
    if (tree_)
        return tree_->heightAt(x, y);
    // A streaming window asks this every frame (the camera's floor, the
    // status bar): the finest tile there is answers without the disk.
    if (loader_)
        return streamed_->heightAt(x, y, nullptr);
    return streamed_->heightAt(x, y, [this](const TileKey &key) { loadNow(key); });
}

double Terrain::heightAt(double x, double y) const
{
    return surfaceZ(x, y) / settings_.exaggeration;
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
    size_t bytes = model_.heights.size() * sizeof(float) + (tree_ ? tree_->memoryBytes() : 0);
    for (const auto &entry : held_)
        bytes += entry.second.meshBytes + entry.second.sampleBytes;
    return bytes;
}

void Terrain::setMemoryMiB(size_t mib)
{
    settings_.memoryMiB = std::min(kMaxMemoryMiB, std::max(kMinMemoryMiB, mib));
    shareGdalCache(settings_.memoryMiB);
}

size_t Terrain::tileBudget() const
{
    // What the budget leaves once the heights read whole and GDAL's cache
    // have their share; never so little a view cannot draw.
    const size_t total = settings_.memoryMiB * kMiB;
    const size_t fixed = model_.heights.size() * sizeof(float) + (tree_ ? tree_->memoryBytes() : 0) + total / 8;
    return std::max(total > fixed ? total - fixed : 0, 16 * kMiB);
}

void Terrain::setStreaming(bool streaming, std::function<void()> arrived)
{
    loader_.reset();
    if (streaming && streamed_) {
        TileLoader::Sources sources;
        sources.model = source_;
        sources.drape = drape_ ? settings_.drape : "";
        sources.modelWkt = model_.wkt;
        std::copy(model_.geoTransform, model_.geoTransform + 6, sources.geoTransform);
        sources.width = model_.width;
        sources.height = model_.height;
        sources.exaggeration = settings_.exaggeration;
        loader_ = std::make_unique<TileLoader>(sources, std::move(arrived));
    }
}

bool Terrain::pending() const { return loader_ && loader_->busy(); }

TileSpan Terrain::span(const TileKey &key) const { return tree_ ? tree_->span(key) : streamed_->span(key); }

TileRequest Terrain::request(const TileKey &key) const
{
    const TileSpan s = span(key);
    TileRequest r;
    r.key = key;
    if (streamed_) {
        const int stride = s.columns.size() > 1 ? s.columns[1] - s.columns[0] : 1;
        r.columns = withBorder(s.columns, stride, model_.width);
        r.rows = withBorder(s.rows, stride, model_.height);
    }
    const double xa = model_.sampleX(s.columns.front()), xb = model_.sampleX(s.columns.back());
    const double ya = model_.sampleY(s.rows.front()), yb = model_.sampleY(s.rows.back());
    r.extent[0] = std::min(xa, xb);
    r.extent[1] = std::min(ya, yb);
    r.extent[2] = std::max(xa, xb);
    r.extent[3] = std::max(ya, yb);
    if (drape_) {
        r.drapeWidth = kDrapeTexelsPerCell * int(s.columns.size() - 1);
        r.drapeHeight = kDrapeTexelsPerCell * int(s.rows.size() - 1);
    }
    return r;
}

void Terrain::arrive(const TileKey &key, std::shared_ptr<TileSamples> samples) const
{
    Held &held = held_[key];
    held.used = frame_;
    // The drape waits here until GL takes it; the tree keeps the heights.
    held.drape = std::move(samples->drape);
    held.drapeWidth = samples->drapeWidth;
    held.drapeHeight = samples->drapeHeight;
    samples->drape = {};
    held.sampleBytes = samples->bytes() + held.drape.size();
    streamed_->arrive(key, std::move(samples));
}

void Terrain::loadNow(const TileKey &key) const
{
    try {
        arrive(key, readTile(reader_.get(), drape_.get(), request(key), settings_.exaggeration));
    } catch (const TerrainError &e) {
        // Left out, as no data, rather than asked for again every frame.
        if (readError_ != e.what())
            std::fprintf(stderr, "warning: %s\n", e.what());
        readError_ = e.what();
        const TileRequest r = request(key);
        auto none = std::make_shared<TileSamples>();
        none->columns = r.columns;
        none->rows = r.rows;
        none->z.assign(r.columns.size() * r.rows.size(), NAN);
        arrive(key, none);
    }
}

Terrain::Held &Terrain::built(const TileKey &key)
{
    Held &held = held_[key];
    held.used = frame_;
    if (held.vertices)
        return held;
    const TileSpan s = span(key);
    if (tree_ && drape_) {
        // Heights in memory; the drape read now.
        const auto read = readTile(nullptr, drape_.get(), request(key), settings_.exaggeration);
        held.drape = read->drape;
        held.drapeWidth = read->drapeWidth;
        held.drapeHeight = read->drapeHeight;
    }
    const TileMesh mesh = tree_ ? buildTileMesh(model_, s, residentSamples(model_, s), draped())
                                : buildTileMesh(model_, s, *streamed_->samples(key), draped());
    held.meshBytes = mesh.bytes();
    if (!held.drape.empty()) {
        glGenTextures(1, &held.texture);
        glBindTexture(GL_TEXTURE_2D, held.texture);
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
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, held.drapeWidth, held.drapeHeight, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     held.drape.data());
        // GL holds the texels now, as four bytes each as drivers keep RGB,
        // and their mipmaps, a third more.
        held.meshBytes += size_t(held.drapeWidth) * size_t(held.drapeHeight) * 4 * 4 / 3;
        held.sampleBytes -= std::min(held.sampleBytes, held.drape.size());
        held.drape = {};
    }
    std::copy(mesh.origin, mesh.origin + 3, held.origin);
    // Buffer objects, not display lists: their memory is exactly what was
    // given and goes back whole when the tile goes (a driver's lists keep
    // pools that freeing tiles in any order fragments).
    const size_t positions = mesh.positions.size() * sizeof(float), colours = mesh.colours.size() * sizeof(float);
    const size_t texCoords = mesh.texCoords.size() * sizeof(float);
    glGenBuffers(1, &held.vertices);
    glBindBuffer(GL_ARRAY_BUFFER, held.vertices);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(positions + colours + texCoords), nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(positions), mesh.positions.data());
    glBufferSubData(GL_ARRAY_BUFFER, GLintptr(positions), GLsizeiptr(colours), mesh.colours.data());
    if (texCoords)
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(positions + colours), GLsizeiptr(texCoords), mesh.texCoords.data());
    glGenBuffers(1, &held.indices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, held.indices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.indices.size() * sizeof(uint32_t)), mesh.indices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    held.indexCount = int(mesh.indices.size());
    held.colourOffset = positions;
    held.texCoordOffset = texCoords ? positions + colours : 0;
    return held;
}

std::vector<TileKey> Terrain::choose(const host::Camera &camera, double pixelError)
{
    if (tree_)
        return tree_->select(camera, pixelError);
    if (loader_) {
        for (TileLoader::Result &r : loader_->take(kTilesPerFrame)) {
            if (r.samples) {
                arrive(r.key, std::move(r.samples));
            } else {
                loadNow(r.key);  // the draw thread's reader says why, or reads it after all
            }
        }
    }
    // The root at once: a window's first frame shows the whole ground,
    // coarse, rather than none.
    const TileKey root{streamed_->levels() - 1, 0, 0};
    if (!streamed_->has(root))
        loadNow(root);
    StreamedTree::Choice choice = streamed_->select(camera, pixelError);
    // Without a loader the view waits for every tile it needs.
    while (!loader_ && !choice.wanted.empty()) {
        for (const TileKey &key : choice.wanted)
            loadNow(key);
        choice = streamed_->select(camera, pixelError);
    }
    for (const TileKey &key : choice.seen)
        held_[key].used = frame_;
    if (loader_) {
        std::vector<TileRequest> requests;
        for (const TileKey &key : choice.wanted)
            requests.push_back(request(key));
        loader_->want(std::move(requests));
    }
    return choice.draw;
}

void Terrain::release(Held &held)
{
    if (held.vertices)
        glDeleteBuffers(1, &held.vertices);
    if (held.indices)
        glDeleteBuffers(1, &held.indices);
    if (held.texture)
        glDeleteTextures(1, &held.texture);
    held.vertices = held.indices = held.texture = 0;
}

void Terrain::evict()
{
    const size_t budget = tileBudget();
    size_t bytes = 0;
    for (const auto &entry : held_)
        bytes += entry.second.meshBytes + entry.second.sampleBytes;
    if (bytes <= budget)
        return;
    std::vector<std::pair<uint64_t, TileKey>> old;
    for (const auto &entry : held_)
        if (entry.second.used != frame_)
            old.push_back({entry.second.used, entry.first});
    std::sort(old.begin(), old.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : b.second < a.second;  // finest first among equals
    });
    for (const auto &item : old) {
        if (bytes <= budget)
            break;
        auto it = held_.find(item.second);
        bytes -= it->second.meshBytes + it->second.sampleBytes;
        release(it->second);
        if (streamed_)
            streamed_->forget(it->first);
        held_.erase(it);
    }
}

void Terrain::draw(const host::Camera &camera, double pixelError)
{
    ++frame_;
    const std::vector<TileKey> keys = choose(camera, pixelError);
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
    // Each tile binds its own drape.
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (const TileKey &key : keys) {
        const Held &built = this->built(key);
        if (built.texture) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, built.texture);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        // Each tile relative to its own origin: the eye's offset from it is
        // small, so the float pipeline keeps its precision.
        host::Camera local = camera;
        for (int i = 0; i < 3; ++i)
            local.target[size_t(i)] -= built.origin[i];
        glLoadMatrixd(local.viewMatrix().data());
        glBindBuffer(GL_ARRAY_BUFFER, built.vertices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, built.indices);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, reinterpret_cast<const void *>(built.colourOffset));
        if (built.texCoordOffset) {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void *>(built.texCoordOffset));
        } else {
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        glDrawElements(GL_TRIANGLES, built.indexCount, GL_UNSIGNED_INT, nullptr);
    }
    glPopMatrix();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopClientAttrib();
    glPopAttrib();
    drawn_ = keys.size();
    evict();
}

}  // namespace terrain

// Canvases: cairo image surfaces (RGB, 8 bits a component) that the window
// shows in their canvas parts. Every live canvas and context is registered,
// so a handle can be checked before use, contexts can outlive their canvas
// safely (layer types delete canvases before their contexts) and tests can
// count what a layer type left behind.
//
// Fills draw without antialiasing on whole pixels, in a colour rounded to
// bytes first, so that a component c lands as round(c * 255) exactly.
//
// Text is drawn with cairo's FreeType backend: the font name "stackerbold"
// is DejaVu Sans Bold at 12 pixels, any other name DejaVu Sans at 12.
// Bitmaps are uncompressed 24- or 32-bit BMP files found on the script
// search path.
#include "hlib.h"
#include "hlib/error.h"
#include "hmllib.h"
#include "hmllib/internal.h"
#include "hmllib/script_ui.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace host {

TextExtentsOverride &textExtentsOverride() {
    static TextExtentsOverride override;
    return override;
}

void setTextExtentsForTests(const int32_t values[4]) {
    TextExtentsOverride &o = textExtentsOverride();
    o.active = values != nullptr;
    if (values)
        std::memcpy(o.values, values, sizeof o.values);
}

namespace {

std::vector<HCanvas *> &canvases() {
    static std::vector<HCanvas *> list;
    return list;
}

std::vector<HCanvasContext *> &contexts() {
    static std::vector<HCanvasContext *> list;
    return list;
}

bool liveCanvas(const HCanvas *canvas) {
    return canvas && std::find(canvases().begin(), canvases().end(), canvas) != canvases().end();
}

bool liveContext(const HCanvasContext *ctx) {
    return ctx && std::find(contexts().begin(), contexts().end(), ctx) != contexts().end();
}

void selectFont(cairo_t *cr, const std::string &name) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           name == "stackerbold" ? CAIRO_FONT_WEIGHT_BOLD
                                                 : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12.0);
}

struct Bitmap {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb; // top row first
};

uint32_t le(const unsigned char *p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// An uncompressed BMP of 24 or 32 bits a pixel, rows bottom-up or
// top-down; problem names what is wrong with anything else.
Bitmap readBmp(const std::string &path, std::string *problem) {
    Bitmap bitmap;
    if (path.empty()) {
        *problem = "bitmap not found";
        return bitmap;
    }
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *problem = "cannot open bitmap";
        return bitmap;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() < (16u << 20))
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        *problem = "not a BMP file";
        return bitmap;
    }
    const uint32_t offset = le(&bytes[10], 4);
    const int32_t width = int32_t(le(&bytes[18], 4));
    const int32_t rawHeight = int32_t(le(&bytes[22], 4));
    const uint32_t bits = le(&bytes[28], 2), compression = le(&bytes[30], 4);
    const int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    if ((bits != 24 && bits != 32) || (compression != 0 && !(bits == 32 && compression == 3)) ||
        width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        *problem = "only uncompressed 24- or 32-bit BMP bitmaps up to 4096 pixels are read";
        return bitmap;
    }
    const size_t pixelBytes = bits / 8;
    const size_t stride = (size_t(width) * pixelBytes + 3) / 4 * 4;
    if (offset > bytes.size() || bytes.size() - offset < stride * size_t(height)) {
        *problem = "bitmap data is cut short";
        return bitmap;
    }
    bitmap.width = width;
    bitmap.height = height;
    bitmap.rgb.resize(size_t(width) * size_t(height) * 3);
    for (int32_t row = 0; row < height; ++row) {
        const int32_t y = rawHeight < 0 ? row : height - 1 - row;
        const unsigned char *src = &bytes[offset + size_t(row) * stride];
        for (int32_t x = 0; x < width; ++x) {
            uint8_t *dst = &bitmap.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            dst[0] = src[size_t(x) * pixelBytes + 2];
            dst[1] = src[size_t(x) * pixelBytes + 1];
            dst[2] = src[size_t(x) * pixelBytes + 0];
        }
    }
    return bitmap;
}

// The context's canvas when both are alive; null otherwise.
HCanvas *drawTarget(HCanvasContext *ctx, const char *what, HErrorSlot *err) {
    if (!liveContext(ctx) || !ctx->canvas) {
        herr_Set(err, "%s: no canvas context", what);
        return nullptr;
    }
    return ctx->canvas;
}

// A canvas with a black surface; null when cairo cannot make one.
HCanvas *newCanvas(int32_t width, int32_t height, bool offscreen) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    auto *canvas = new HCanvas;
    canvas->width = width;
    canvas->height = height;
    canvas->offscreen = offscreen;
    canvas->surface = std::move(surface);
    canvases().push_back(canvas);
    return canvas;
}

uint8_t toByte(double component) {
    if (!(component > 0.0))
        return 0;
    if (component >= 1.0)
        return 255;
    return uint8_t(std::lround(component * 255.0));
}

// A drawing context on the canvas's surface that replaces pixels (no
// blending) on whole pixels.
struct Painter {
    explicit Painter(HCanvas *canvas) : cr(cairo_create(canvas->surface.get())) {
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    }
    ~Painter() { cairo_destroy(cr); }
    Painter(const Painter &) = delete;
    Painter &operator=(const Painter &) = delete;
    cairo_t *cr;
};

// Fills the rectangle, clipped to the canvas by cairo; empty rectangles
// draw nothing.
void fillRect(cairo_t *cr, int32_t x, int32_t y, int32_t w, int32_t h, const HCanvasColor &color) {
    if (w <= 0 || h <= 0)
        return;
    // A byte b as b / 255 reaches cairo's 16-bit colour as b * 257 and
    // comes back as b in the 8-bit surface.
    cairo_set_source_rgb(cr, toByte(color.red) / 255.0, toByte(color.green) / 255.0,
                         toByte(color.blue) / 255.0);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

} // namespace

namespace hml {

void detachCanvases(const HFrame *frame) {
    for (HCanvas *canvas : canvases()) {
        for (const HFrame *p = canvas->part; p; p = p->frame)
            if (p == frame) {
                canvas->part = nullptr;
                break;
            }
    }
}

} // namespace hml

HCanvas *canvasOfPart(const HFrame *part) {
    const auto &list = canvases();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (part && (*it)->part == part)
            return *it;
    return nullptr;
}

size_t liveCanvasCount() { return canvases().size(); }
size_t liveCanvasContextCount() { return contexts().size(); }

bool sendCanvasEvent(HCanvas *canvas, int32_t type) {
    if (!liveCanvas(canvas) || !canvas->handler)
        return false;
    HPointerEvent event{type, 0, 0};
    canvas->handler(nullptr, &event, canvas->client);
    return true;
}

void SurfaceRelease::operator()(_cairo_surface *surface) const { cairo_surface_destroy(surface); }

std::array<uint8_t, 3> canvasPixel(const HCanvas *canvas, int32_t x, int32_t y) {
    if (!canvas || !canvas->surface || x < 0 || y < 0 || x >= canvas->width || y >= canvas->height)
        return {0, 0, 0};
    cairo_surface_t *surface = canvas->surface.get();
    cairo_surface_flush(surface);
    const unsigned char *row =
        cairo_image_surface_get_data(surface) + ptrdiff_t(y) * cairo_image_surface_get_stride(surface);
    uint32_t rgb;
    std::memcpy(&rgb, row + size_t(x) * 4, sizeof rgb);
    return {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
}

std::vector<uint8_t> canvasRGB(const HCanvas *canvas) {
    std::vector<uint8_t> rgb;
    if (!liveCanvas(canvas))
        return rgb;
    rgb.reserve(size_t(canvas->width) * size_t(canvas->height) * 3);
    for (int32_t y = 0; y < canvas->height; ++y)
        for (int32_t x = 0; x < canvas->width; ++x)
            for (uint8_t component : canvasPixel(canvas, x, y))
                rgb.push_back(component);
    return rgb;
}

} // namespace host

using host::drawTarget;

extern "C" {

HOST_API HCanvas *hhml_CanvasCreate(HFrame *part, int32_t, HErrorSlot *err) {
    if (!part || part->kind != host::PartKind::Canvas) {
        herr_Set(err, "canvas: '%s' is not a canvas part", part ? part->name.c_str() : "(null)");
        return nullptr;
    }
    HCanvas *canvas = host::newCanvas(part->width, part->height, false);
    if (!canvas) {
        herr_Set(err, "canvas '%s': cannot make %d x %d pixels", part->name.c_str(), part->width,
                 part->height);
        return nullptr;
    }
    canvas->part = part;
    return canvas;
}

HOST_API void hhml_CanvasGetDimensions(HCanvas *canvas, int32_t *width, int32_t *height,
                                       HErrorSlot *err) {
    const bool live = host::liveCanvas(canvas);
    if (!live)
        herr_Set(err, "canvas size: no canvas");
    if (width)
        *width = live ? canvas->width : 0;
    if (height)
        *height = live ? canvas->height : 0;
}

HOST_API void hhml_CanvasSetEventHandler(HCanvas *canvas, HCanvasEventFn handler, void *client,
                                         HErrorSlot *err) {
    if (!host::liveCanvas(canvas))
        return herr_Set(err, "canvas events: no canvas");
    canvas->handler = handler;
    canvas->client = client;
}

// The source only says which display the copy is for; there is one, so
// it is never read.
HOST_API HCanvas *hhml_CanvasCreateOffScreenCopyVis(HCanvas *, int32_t width, int32_t height,
                                                    HErrorSlot *err) {
    HCanvas *canvas = width < 1 || height < 1 ? nullptr : host::newCanvas(width, height, true);
    if (!canvas)
        herr_Set(err, "off-screen canvas: cannot make %d x %d pixels", width, height);
    return canvas;
}

HOST_API HCanvasContext *hhml_CanvasContextCreate(HCanvas *canvas, HErrorSlot *err) {
    if (!host::liveCanvas(canvas)) {
        herr_Set(err, "canvas context: no canvas");
        return nullptr;
    }
    auto *ctx = new HCanvasContext;
    ctx->canvas = canvas;
    host::contexts().push_back(ctx);
    return ctx;
}

HOST_API void hhml_CanvasContextSetColorMethod(HCanvasContext *ctx, int32_t method,
                                               HErrorSlot *err) {
    if (!host::liveContext(ctx))
        return herr_Set(err, "colour method: no canvas context");
    ctx->colorMethod = method;
}

HOST_API void hhml_CanvasContextSetLineWidth(HCanvasContext *ctx, int32_t width, HErrorSlot *err) {
    if (!host::liveContext(ctx))
        return herr_Set(err, "line width: no canvas context");
    ctx->lineWidth = width;
}

// Copies width × height pixels of three byte planes to (dx, dy), clipped
// to the canvas; pixel (column c, row r) of a plane is at data + r *
// rowStep + c * columnStep. The four values after the planes are unused.
HOST_API void hhml_CanvasShowRGBPixrect(HCanvasContext *ctx, HBaseData *red, HBaseData *green,
                                        HBaseData *blue, int32_t, int32_t, int32_t, int32_t,
                                        int32_t width, int32_t height, int32_t dx, int32_t dy,
                                        HErrorSlot *err) {
    HCanvas *canvas = drawTarget(ctx, "show pixels", err);
    if (!canvas)
        return;
    const HBaseData *planes[3] = {red, green, blue};
    for (const HBaseData *plane : planes) {
        if (!plane || !plane->data || plane->type != HGDA_UINT8 || plane->rows < height ||
            plane->columns < width)
            return herr_Set(err, "show pixels: each plane must hold %d x %d bytes", width, height);
    }
    cairo_surface_t *surface = canvas->surface.get();
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t r = 0; r < height; ++r) {
        const int32_t y = dy + r;
        if (y < 0 || y >= canvas->height)
            continue;
        auto *row = reinterpret_cast<uint32_t *>(data + ptrdiff_t(y) * stride);
        for (int32_t c = 0; c < width; ++c) {
            const int32_t x = dx + c;
            if (x < 0 || x >= canvas->width)
                continue;
            uint32_t rgb = 0;
            for (int i = 0; i < 3; ++i) {
                const auto *bytes = static_cast<const uint8_t *>(planes[i]->data);
                rgb = rgb << 8 | bytes[r * planes[i]->rowStep + c * planes[i]->columnStep];
            }
            row[x] = rgb; // RGB24: 0x00RRGGBB in a native 32-bit word
        }
    }
    cairo_surface_mark_dirty(surface);
}

HOST_API void hhml_CanvasDelete(HCanvas *canvas, HErrorSlot *err) {
    if (!canvas)
        return;
    if (!host::liveCanvas(canvas))
        return herr_Set(err, "delete canvas: not a live canvas");
    for (HCanvasContext *ctx : host::contexts())
        if (ctx->canvas == canvas)
            ctx->canvas = nullptr;
    auto &list = host::canvases();
    list.erase(std::remove(list.begin(), list.end(), canvas), list.end());
    delete canvas;
}

HOST_API void hhml_CanvasContextDelete(HCanvasContext *ctx, HErrorSlot *err) {
    if (!ctx)
        return;
    if (!host::liveContext(ctx))
        return herr_Set(err, "delete canvas context: not a live context");
    auto &list = host::contexts();
    list.erase(std::remove(list.begin(), list.end(), ctx), list.end());
    delete ctx;
}

HOST_API HCanvas *hhml_CanvasReadXpmFile(void *, const char *file, int32_t *width, int32_t *height,
                                         int32_t *hotX, int32_t *hotY, HErrorSlot *err) {
    for (int32_t *out : {width, height, hotX, hotY})
        if (out)
            *out = 0;
    std::string problem;
    host::Bitmap bitmap = host::readBmp(host::findResource(file ? file : ""), &problem);
    if (!problem.empty()) {
        herr_Set(err, "%s: %s", file ? file : "(null)", problem.c_str());
        return nullptr;
    }
    HCanvas *canvas = host::newCanvas(bitmap.width, bitmap.height, true);
    if (!canvas) {
        herr_Set(err, "bitmap: out of memory");
        return nullptr;
    }
    cairo_surface_t *surface = canvas->surface.get();
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < bitmap.height; ++y)
        for (int32_t x = 0; x < bitmap.width; ++x) {
            const uint8_t *rgb = &bitmap.rgb[(size_t(y) * size_t(bitmap.width) + size_t(x)) * 3];
            const uint32_t pixel = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
            std::memcpy(data + ptrdiff_t(y) * stride + x * 4, &pixel, 4);
        }
    cairo_surface_mark_dirty(surface);
    if (width)
        *width = canvas->width;
    if (height)
        *height = canvas->height;
    return canvas;
}

HOST_API double *hhml_ButtonFaceColorGet(void) {
    auto *rgb = static_cast<double *>(hmsc_HeapMalloc(3 * sizeof(double)));
    if (rgb)
        rgb[0] = rgb[1] = rgb[2] = 0.85;
    return rgb;
}

// A raised bevel: the face over the whole rectangle, then bevel pixels of
// light along the top and left edges and of dark along the bottom and
// right. The two leading values are unused.
HOST_API void hhml_CanvasDrawBevelRect(HCanvasContext *ctx, int32_t, int32_t, int32_t x, int32_t y,
                                       int32_t width, int32_t height, int32_t bevel,
                                       const HCanvasColor *light, const HCanvasColor *face,
                                       const HCanvasColor *dark, HErrorSlot *err) {
    HCanvas *canvas = drawTarget(ctx, "bevel", err);
    if (!canvas || !light || !face || !dark)
        return;
    host::Painter paint(canvas);
    host::fillRect(paint.cr, x, y, width, height, *face);
    for (int32_t i = 0; i < bevel; ++i) {
        host::fillRect(paint.cr, x, y + i, width - i, 1, *light);                 // top
        host::fillRect(paint.cr, x + i, y, 1, height - i, *light);                // left
        host::fillRect(paint.cr, x + i + 1, y + height - 1 - i, width - i - 1, 1, *dark); // bottom
        host::fillRect(paint.cr, x + width - 1 - i, y + i + 1, 1, height - i - 1, *dark); // right
    }
}

// Copies a source canvas's area to (dx, dy), clipped to both canvases.
HOST_API void hhml_CanvasCopyArea(HCanvasContext *ctx, HCanvas *source, int32_t sx, int32_t sy,
                                  int32_t width, int32_t height, int32_t dx, int32_t dy,
                                  HErrorSlot *err) {
    HCanvas *canvas = drawTarget(ctx, "copy area", err);
    if (!canvas)
        return;
    if (!host::liveCanvas(source))
        return herr_Set(err, "copy area: no source canvas");
    // Only the part of the area inside the source is copied; the rest of
    // the target stays as it was.
    int32_t x0 = std::max(sx, 0), y0 = std::max(sy, 0);
    int32_t x1 = std::min(int64_t(sx) + width, int64_t(source->width));
    int32_t y1 = std::min(int64_t(sy) + height, int64_t(source->height));
    if (x1 <= x0 || y1 <= y0)
        return;
    host::Surface snapshot;
    cairo_surface_t *from = source->surface.get();
    if (source == canvas) {
        // Overlapping copies within one surface read from a copy of it.
        snapshot.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, canvas->width, canvas->height));
        if (cairo_surface_status(snapshot.get()) != CAIRO_STATUS_SUCCESS)
            return herr_Set(err, "copy area: out of memory");
        cairo_t *cr = cairo_create(snapshot.get());
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, from, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        from = snapshot.get();
    }
    host::Painter paint(canvas);
    cairo_set_source_surface(paint.cr, from, double(dx) - sx, double(dy) - sy);
    cairo_rectangle(paint.cr, dx + (x0 - sx), dy + (y0 - sy), x1 - x0, y1 - y0);
    cairo_fill(paint.cr);
}

HOST_API void hhml_CanvasContextSetFont(HCanvasContext *ctx, const char *font, HErrorSlot *err) {
    if (!host::liveContext(ctx))
        return herr_Set(err, "font: no canvas context");
    ctx->font = font ? font : "";
}

// e1 and e2: the text's left edge (0) and advance width; e3 and e4: the
// font's top (negative, above the baseline) and bottom offsets from the
// baseline, so e4 - e3 is the line height whatever the letters.
HOST_API void hhml_CanvasContextGetStringExtents(HCanvasContext *ctx, const char *text,
                                                 int32_t *e1, int32_t *e2, int32_t *e3,
                                                 int32_t *e4, HErrorSlot *err) {
    int32_t values[4] = {0, 0, 0, 0};
    if (host::textExtentsOverride().active) {
        std::memcpy(values, host::textExtentsOverride().values, sizeof values);
    } else if (!host::liveContext(ctx) || !text) {
        herr_Set(err, "text extents: no canvas context");
    } else if (cairo_surface_t *scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)) {
        cairo_t *cr = cairo_create(scratch);
        host::selectFont(cr, ctx->font);
        cairo_font_extents_t font;
        cairo_text_extents_t ink;
        cairo_font_extents(cr, &font);
        cairo_text_extents(cr, text, &ink);
        values[1] = int32_t(std::ceil(ink.x_advance));
        values[2] = -int32_t(std::ceil(font.ascent));
        values[3] = int32_t(std::ceil(font.descent));
        cairo_destroy(cr);
        cairo_surface_destroy(scratch);
    }
    int32_t *outs[4] = {e1, e2, e3, e4};
    for (int i = 0; i < 4; ++i)
        if (outs[i])
            *outs[i] = values[i];
}

HOST_API void hhml_CanvasContextSetForeground(HCanvasContext *ctx, const HCanvasColor *color,
                                              HErrorSlot *err) {
    if (!host::liveContext(ctx))
        return herr_Set(err, "foreground: no canvas context");
    if (color)
        ctx->foreground = *color;
}

// The text's baseline starts at (x, y), in the foreground colour.
HOST_API void hhml_CanvasDrawText(HCanvasContext *ctx, const char *text, int32_t x, int32_t y,
                                  HErrorSlot *err) {
    HCanvas *canvas = drawTarget(ctx, "text", err);
    if (!canvas || !text)
        return;
    cairo_t *cr = cairo_create(canvas->surface.get());
    host::selectFont(cr, ctx->font);
    cairo_set_source_rgb(cr, ctx->foreground.red, ctx->foreground.green, ctx->foreground.blue);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
    cairo_destroy(cr);
    cairo_surface_flush(canvas->surface.get());
}

} // extern "C"

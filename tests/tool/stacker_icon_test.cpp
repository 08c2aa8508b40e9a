// The layer's stacker icon: the text position from the text's extents,
// the picture drawn once and kept, what it shows, and its lifetime.
#include "tool/tool_fixture.h"

#include <algorithm>
#include <cstring>

#include "hmllib.h"
#include "plugin/entry.h"
#include "plugin/stacker_icon.h"
#include "viewer/hlib/heap_debug.h"

namespace {

struct StackerIconTest : ToolTest {
    HCanvas *stackerCanvas = nullptr;
    HStackerCanvas stacker{};
    void SetUp() override
    {
        ToolTest::SetUp();
        HErrorSlot err = nullptr;
        stackerCanvas = hhml_CanvasCreateOffScreenCopyVis(nullptr, 200, 48, &err);
        stacker = {stackerCanvas, nullptr, nullptr};
    }
    void TearDown() override
    {
        host::setTextExtentsForTests(nullptr);
        hhml_CanvasDelete(stackerCanvas, nullptr);
        ToolTest::TearDown();
    }
    HLayer *namedLayer(const char *file)
    {
        char name[256];
        std::strncpy(name, file, sizeof name - 1);
        name[sizeof name - 1] = '\0';
        char *strings[] = {name};
        HLayer *layer = cloudtlLayerCreate(scene.hscene(), 0, 1, strings);
        if (layer)
            scene.addLayer(layer);
        return layer;
    }
    HCanvas *icon(HLayer *layer, int32_t width, HErrorSlot *err = nullptr)
    {
        HErrorSlot local = nullptr;
        return layer->methods->stackerIcon(layer, &stacker, width, err ? err : &local);
    }
};

struct Rgb {
    int r, g, b;
};

Rgb pixel(HCanvas *canvas, int x, int y)
{
    const std::vector<uint8_t> rgb = host::canvasRGB(canvas);
    const size_t i = (size_t(y) * size_t(canvas->width) + size_t(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

}  // namespace

TEST(StackerTextPosition, DocumentedPositionsAndTruncation)
{
    int32_t x = 0, y = 0;
    stackerTextPosition(32, -11, 3, &x, &y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 28);
    // An odd height truncates: th = 13, th / 2 = 6.
    stackerTextPosition(32, -10, 3, &x, &y);
    EXPECT_EQ(x, 49);
    EXPECT_EQ(y, 24 - 6 + 10);
}

TEST_F(StackerIconTest, DrawnOnceAndKeptWhateverTheNextWidth)
{
    HLayer *layer = namedLayer("Valley.cloud");
    ASSERT_NE(layer, nullptr);
    HCanvas *first = icon(layer, 180);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width, 180);
    EXPECT_EQ(first->height, 48);
    EXPECT_EQ(icon(layer, 90), first);
    EXPECT_EQ(first->width, 180);
    EXPECT_EQ(cloudLayer(layer).stackerIcon, first);
}

TEST_F(StackerIconTest, NoStackerCanvasOrAnErrorAlreadySetGivesNothing)
{
    HLayer *layer = namedLayer("Valley.cloud");
    HErrorSlot local = nullptr;
    EXPECT_EQ(layer->methods->stackerIcon(layer, nullptr, 180, &local), nullptr);
    int earlier = 0;
    HErrorSlot set = &earlier;
    EXPECT_EQ(icon(layer, 180, &set), nullptr);
    EXPECT_EQ(cloudLayer(layer).stackerIcon, nullptr);
}

TEST_F(StackerIconTest, BevelBitmapAndNameWhereTheirPositionsSay)
{
    // The text is 14 high with its top 11 above the baseline: it starts at
    // x = bw + 18 = 50 with the 32-pixel bitmap, baseline on row 28.
    const int32_t extents[4] = {0, 60, -11, 3};
    host::setTextExtentsForTests(extents);
    HLayer *layer = namedLayer("/some/dir/Valley.cloud");
    HCanvas *canvas = icon(layer, 180);
    ASSERT_NE(canvas, nullptr);
    // Raised bevel two pixels wide: light top and left, dark bottom and
    // right, the button face inside.
    const Rgb light = pixel(canvas, 0, 0), dark = pixel(canvas, 179, 47);
    EXPECT_EQ(light.r, 230);
    EXPECT_EQ(pixel(canvas, 1, 20).r, 230);
    EXPECT_EQ(dark.r, 102);
    EXPECT_EQ(pixel(canvas, 178, 20).r, 102);
    EXPECT_EQ(pixel(canvas, 100, 3).r, 217);  // the host's face, 0.85
    // The bitmap's corner (its background) at (6, 6), its white cloud
    // inside, ending at 6 + 32.
    EXPECT_EQ(pixel(canvas, 6, 6).r, 217);
    const Rgb cloud = pixel(canvas, 6 + 18, 6 + 13);
    EXPECT_EQ(cloud.r, 255);
    // The name in black: nothing dark between the bitmap and x = 49,
    // plenty from x = 50 on, around the baseline.
    int darkBefore = 0, darkAfter = 0;
    for (int y = 10; y < 40; ++y) {
        for (int x = 40; x < 49; ++x)
            darkBefore += pixel(canvas, x, y).r < 100;
        for (int x = 50; x < 170; ++x)
            darkAfter += pixel(canvas, x, y).r < 100;
    }
    EXPECT_EQ(darkBefore, 0);
    EXPECT_GT(darkAfter, 30);
    for (int x = 50; x < 170; ++x)
        EXPECT_GE(pixel(canvas, x, 32).r, 100) << x;  // nothing far below a baseline at 28
}

TEST_F(StackerIconTest, MeasuredTextIsCentredOnRow24)
{
    HLayer *layer = namedLayer("Valley.cloud");
    ASSERT_NE(layer, nullptr);
    // Measured for real: DejaVu Sans Bold's line is about 14 pixels high.
    HCanvasContext *ctx = hhml_CanvasContextCreate(stackerCanvas, nullptr);
    hhml_CanvasContextSetFont(ctx, "stackerbold", nullptr);
    int32_t e1, e2, e3, e4;
    hhml_CanvasContextGetStringExtents(ctx, "Valley", &e1, &e2, &e3, &e4, nullptr);
    hhml_CanvasContextDelete(ctx, nullptr);
    EXPECT_LT(e3, -8);
    EXPECT_GT(e4, 0);
    EXPECT_GT(e2, 30);
    HCanvas *canvas = icon(layer, 180);
    int top = 48, bottom = -1;
    for (int y = 4; y < 44; ++y)
        for (int x = 50; x < 170; ++x)
            if (pixel(canvas, x, y).r < 100) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_LE(top, bottom);
    EXPECT_NEAR((top + bottom) / 2.0, 24.0, 4.0);
}

TEST_F(StackerIconTest, CloseDeletesTheIconAndEveryAllocationMayFail)
{
    const size_t canvases = host::liveCanvasCount();
    const size_t blocks = hmsc_HeapLiveBlocks();
    HLayer *layer = namedLayer("Valley.cloud");
    const unsigned long before = hmsc_HeapAllocationCount();
    ASSERT_NE(icon(layer, 180), nullptr);
    const long attempts = long(hmsc_HeapAllocationCount() - before);
    layer->methods->close(layer);
    scene.removeLayer(layer);
    EXPECT_EQ(host::liveCanvasCount(), canvases);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), blocks);
    for (long n = 1; n <= attempts; ++n) {
        HLayer *again = namedLayer("Valley.cloud");
        ASSERT_NE(again, nullptr);
        hmsc_HeapFailAfter(n);
        icon(again, 180);
        hmsc_HeapFailAfter(0);
        again->methods->close(again);
        scene.removeLayer(again);
        EXPECT_EQ(host::liveCanvasCount(), canvases) << n;
        EXPECT_EQ(hmsc_HeapLiveBlocks(), blocks) << n;
    }
}

// The cloud tool dialog: what it shows when it opens, the live preview
// against per-pixel noise, the cloud list and its labels.
#include "tool/tool_fixture.h"

#include <climits>
#include <cmath>

#include "synth/noise.h"
#include "tool/dialog.h"
#include "viewer/hmllib/script_ui.h"

TEST_F(ToolTest, OpeningShowsTheWorkingCopyAndMarksTheCurrentCloud)
{
    HLayer *layer = newLayer();
    for (int i = 0; i < 3; ++i)
        addCloud();
    CloudLayer &l = cloudLayer(layer);
    l.current = clouds(layer)[1];
    editCloud.density = 0.625f;
    editCloud.texsize = 16;
    editCloud.xslice = 7;
    editCloud.seed = 4242;
    editCloud.red = 0.5f;

    openDialog();
    HFrame *frame = dialog(layer);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->displayed);
    EXPECT_EQ(frame->frameContext, layer);  // commands from the frame carry the layer
    EXPECT_EQ(frame->source, scene.window());
    EXPECT_EQ(popupItems(layer), (std::vector<std::string>{"Cloud 1", "Cloud 2", "Cloud 3"}));
    EXPECT_EQ(value(layer, "currentcloud"), "Cloud 2");
    EXPECT_EQ(value(layer, "density"), "0.625");  // exact in a float
    EXPECT_EQ(value(layer, "texturesize"), "16");
    EXPECT_EQ(value(layer, "cslicex"), "7");
    EXPECT_EQ(value(layer, "seed"), "4242");
    EXPECT_EQ(value(layer, "cloudcolor"), "0.5 1 1");
    EXPECT_EQ(l.previewWidth, 256);
    EXPECT_EQ(l.previewHeight, 256);
    EXPECT_EQ(l.previewLive, 1);
    EXPECT_EQ(previewPlanes(l), referencePreview(256, 256));
    EXPECT_EQ(l.canvas->part, host::findPart(frame, "canvas"));
}

TEST_F(ToolTest, OpeningAnOpenDialogOnlyRaisesIt)
{
    HLayer *layer = newLayer();
    addCloud();
    openDialog();
    CloudLayer &l = cloudLayer(layer);
    HFrame *frame = l.dialog;
    const std::vector<uint8_t> shown = previewPlanes(l);
    editCloud.density = 0.9f;
    editCloud.seed = 1;  // a different picture if it were redrawn
    host::setPartValue(host::findPart(frame, "density"), "0.3");
    HFrame *popup = host::findPart(frame, "currentcloud");
    popup->items = {"Cloud 1"};

    openDialog();
    EXPECT_EQ(l.dialog, frame);
    EXPECT_EQ(popup->items, std::vector<std::string>{"Cloud 1"});
    EXPECT_EQ(value(layer, "density"), "0.3");
    EXPECT_EQ(previewPlanes(l), shown);
    EXPECT_EQ(host::openFrames().back(), frame);
}

TEST_F(ToolTest, PreviewMatchesPerPixelNoiseForAnyTextureSize)
{
    HLayer *layer = newLayer();
    openDialog();
    CloudLayer &l = cloudLayer(layer);
    editCloud.panx = 3;
    editCloud.pany = -2;
    editCloud.detail = 2.7f;
    editCloud.red = 1.0f, editCloud.green = 0.5f, editCloud.blue = 0.25f;
    // Sizes that divide the canvas, that do not, beyond it, and the ones
    // the dialog accepts without sense (0, negative, the int32 limit).
    for (int32_t n : {32, 7, 1, 300, 0, -5, INT_MAX}) {
        SCOPED_TRACE(n);
        editCloud.texsize = n;
        dialogPreviewDraw(layer);
        EXPECT_EQ(previewPlanes(l), referencePreview(l.previewWidth, l.previewHeight));
    }
    // The canvas shows the planes as they are.
    const std::vector<uint8_t> planes = previewPlanes(l);
    EXPECT_EQ(host::canvasRGB(l.canvas), planes);
}

TEST_F(ToolTest, PreviewColoursAndNotANumber)
{
    HLayer *layer = newLayer();
    openDialog();
    CloudLayer &l = cloudLayer(layer);
    editCloud.red = 1.0f, editCloud.green = 0.5f, editCloud.blue = 0.0f;
    editCloud.height = 0.0f;  // base 1: the shaped noise is 0 everywhere
    dialogPreviewDraw(layer);
    for (uint8_t b : previewPlanes(l))
        ASSERT_EQ(b, 0);

    editCloud.height = 0.999f;
    editCloud.cluster = 2.0f;  // dense everywhere away from the faded edge
    dialogPreviewDraw(layer);
    const std::vector<uint8_t> rgb = previewPlanes(l);
    const size_t middle = (size_t(128) * 256 + 128) * 3;
    EXPECT_EQ(rgb[middle], 255);
    EXPECT_EQ(rgb[middle + 1], 127);  // 0.5 x 255 truncated, not rounded
    EXPECT_EQ(rgb[middle + 2], 0);

    editCloud.height = 2.0f;  // a negative base: fractional powers are not numbers
    editCloud.cluster = 0.3f;
    dialogPreviewDraw(layer);
    const std::vector<uint8_t> odd = previewPlanes(l);
    EXPECT_EQ(odd, referencePreview(256, 256));
    int nans = 0;
    for (int32_t y = 1; y < 32; ++y)
        for (int32_t x = 1; x < 32; ++x) {
            if (!std::isnan(noiseFractal(x, y, 1, 32, 32, 0.3f, 1.0f - 2.0f, true)))
                continue;
            ++nans;
            const size_t at = (size_t(y * 8) * 256 + size_t(x * 8)) * 3;  // 8 pixels a sample
            EXPECT_EQ(odd[at] | odd[at + 1] | odd[at + 2], 0) << x << "," << y;
        }
    EXPECT_GT(nans, 0);
}

TEST_F(ToolTest, ExposeEventsRedrawThePreviewAndOthersDoNot)
{
    HLayer *layer = newLayer();
    openDialog();
    CloudLayer &l = cloudLayer(layer);
    const std::vector<uint8_t> before = previewPlanes(l);
    editCloud.seed = 99;
    noiseTableBuild(editCloud);
    EXPECT_TRUE(host::sendCanvasEvent(l.canvas, 7));
    EXPECT_EQ(previewPlanes(l), before);
    EXPECT_TRUE(host::sendCanvasEvent(l.canvas, 100));
    EXPECT_NE(previewPlanes(l), before);
    EXPECT_EQ(previewPlanes(l), referencePreview(256, 256));
}

TEST_F(ToolTest, LabelsFollowListPositions)
{
    HLayer *layer = newLayer();
    openDialog();
    for (int i = 0; i < 3; ++i) {
        editCloud.xposition = 100.0 * (i + 1);
        addCloud();
    }
    EXPECT_EQ(value(layer, "currentcloud"), "Cloud 3");  // the added cloud is shown
    set(layer, "currentcloud", "Cloud 2");
    update(layer, {"deletecloud"});
    // The former third cloud now holds position 2; the head became current.
    EXPECT_EQ(popupItems(layer), (std::vector<std::string>{"Cloud 1", "Cloud 2"}));
    EXPECT_EQ(value(layer, "currentcloud"), "Cloud 1");
    CloudLayer &l = cloudLayer(layer);
    EXPECT_EQ(dialogFindCloudByLabel(l, "Cloud 2")->xposition, 300.0);
    EXPECT_EQ(l.current->xposition, 300.0);
    EXPECT_EQ(dialogFindCloudByLabel(l, "cloud 1"), nullptr);  // labels compare exactly
    EXPECT_EQ(dialogFindCloudByLabel(l, nullptr), nullptr);
    EXPECT_EQ(l.current->xposition, 300.0);  // no match leaves current alone
}

TEST_F(ToolTest, ReadersOfAClosedDialog)
{
    HLayer *layer = newLayer();
    CloudLayer &l = cloudLayer(layer);
    EXPECT_EQ(dialogGetString(&l, "currentcloud"), nullptr);
    EXPECT_EQ(dialogGetNumber(&l, "density"), 0.0);
    EXPECT_EQ(dialogGetString(nullptr, "density"), nullptr);
    openDialog();
    EXPECT_EQ(dialogGetNumber(&l, "nosuchpart"), 0.0);
    EXPECT_EQ(dialogGetString(&l, "nosuchpart"), nullptr);
    EXPECT_EQ(dialogGetNumber(&l, "density"), double(0.3f));
    // A missing part is skipped; the host's complaint is handed back.
    EXPECT_NE(dialogSetNumber(l.dialog, "nosuchpart", 1.0), nullptr);
    EXPECT_EQ(dialogSetNumber(l.dialog, "density", 0.5), nullptr);
    EXPECT_EQ(dialogGetNumber(&l, "density"), 0.5);
}

TEST_F(ToolTest, ShowingACloudSeedsTheNoiseWithTheUnroundedZoom)
{
    HLayer *layer = newLayer();
    openDialog();
    CloudRecord cloud = editCloud;
    cloud.zoom = 12.75f;
    cloud.seed = 31337;
    dialogShowCloud(&cloud, dialog(layer));
    EXPECT_EQ(noiseState.period, 12.75f);
    noiseSeed(31337.0f);
    const double first = noiseNext();
    dialogShowCloud(&cloud, dialog(layer));
    EXPECT_EQ(noiseNext(), first);
    EXPECT_EQ(value(layer, "zoom"), "12.75");
}

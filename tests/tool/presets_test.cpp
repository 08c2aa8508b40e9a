// Presets against a scene that counts its extent queries: both tables to
// the bit, names without regard to case, and what a preset leaves alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "plugin/records.h"
#include "tool/presets.h"

namespace {

struct ExtentScene {
    HScene scene;  // first: the operation receives this record
    double e[6] = {0, 1000, 600, 0, 0, 0};
    int queries = 0;

    ExtentScene() : scene{&table()} {}
    static void getExtent(HScene *s, double *e1, double *e2, double *e3, double *e4, double *e5,
                          double *e6)
    {
        ExtentScene &self = *reinterpret_cast<ExtentScene *>(s);
        ++self.queries;
        double *out[6] = {e1, e2, e3, e4, e5, e6};
        for (int i = 0; i < 6; ++i)
            *out[i] = self.e[i];
    }
    static const HSceneOps &table()
    {
        static HSceneOps ops = [] {
            HSceneOps o{};
            o.sceneGetExtent = getExtent;
            return o;
        }();
        return ops;
    }
};

struct PresetTest : ::testing::Test {
    ExtentScene scene;
    CloudLayer layer{};
    CloudRecord cloud{};

    void SetUp() override
    {
        layer.scene = &scene.scene;
        cloudRecordSetDefaults(&cloud);
        cloud.next = nullptr;
    }
    bool sameRecord(const CloudRecord &a, const CloudRecord &b)
    {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
};

struct Look {
    const char *name;
    float density, cluster, detail, zoom, height;
    double seed;
    float red, green, blue;
};

}  // namespace

TEST_F(PresetTest, LookPresetsToTheBit)
{
    const Look looks[] = {
        {"Pink Fluff", 0.75f, 0.16000003f, 1.0f, 41.0f, 0.86f, 12934, 1.0f, 0.752941f, 0.796078f},
        {"Bubble Mist", 0.55f, 1.0f, 1.0f, 14.0f, 0.37f, 12938, 1.0f, 1.0f, 1.0f},
        {"Turquoise Mist", 0.35f, 0.22000003f, 1.0f, 43.0f, 0.65f, 235234, 0.25098f, 0.878431f,
         0.815686f},
        {"Blue Mist", 0.4f, 0.48000002f, 1.0f, 41.0f, 0.35f, 678269, 0.083972f, 0.548057f,
         0.916028f},
        {"Smooth Violet", 0.46f, 0.16000003f, 1.0f, 27.0f, 0.86f, 798465, 0.933333f, 0.509804f,
         0.933333f},
    };
    // The cluster values lie a step or two above the round decimals.
    EXPECT_EQ(looks[0].cluster, std::nextafter(std::nextafter(0.16f, 1.0f), 1.0f));
    EXPECT_EQ(looks[2].cluster, std::nextafter(std::nextafter(0.22f, 1.0f), 1.0f));
    EXPECT_EQ(looks[3].cluster, std::nextafter(0.48f, 1.0f));
    for (const Look &l : looks) {
        SCOPED_TRACE(l.name);
        CloudRecord before = cloud;
        cloudApplyPreset(layer, cloud, l.name);
        EXPECT_EQ(cloud.density, l.density);
        EXPECT_EQ(cloud.cluster, l.cluster);
        EXPECT_EQ(cloud.detail, l.detail);
        EXPECT_EQ(cloud.zoom, l.zoom);
        EXPECT_EQ(cloud.height, l.height);
        EXPECT_EQ(cloud.seed, l.seed);
        EXPECT_EQ(cloud.red, l.red);
        EXPECT_EQ(cloud.green, l.green);
        EXPECT_EQ(cloud.blue, l.blue);
        // Only the look changes: positions, sizes, slices and the rest stay.
        CloudRecord look = before;
        look.density = l.density, look.cluster = l.cluster, look.detail = l.detail;
        look.zoom = l.zoom, look.height = l.height, look.seed = l.seed;
        look.red = l.red, look.green = l.green, look.blue = l.blue;
        EXPECT_TRUE(sameRecord(look, cloud));
    }
}

TEST_F(PresetTest, SizePresetsFromTheExtent)
{
    cloudApplyPreset(layer, cloud, "Full");
    EXPECT_EQ(cloud.xsize, 500.0);
    EXPECT_EQ(cloud.ysize, 300.0);
    EXPECT_EQ(cloud.zsize, 200.0);

    cloudApplyPreset(layer, cloud, "Medium");
    EXPECT_EQ(cloud.xsize, (1000.0 * 0.6666666666666666) * 0.5);
    EXPECT_EQ(cloud.ysize, (600.0 * 0.6666666666666666) * 0.5);
    EXPECT_EQ(cloud.zsize, (1000.0 * 0.6666666666666666) * 0.1);
    EXPECT_NEAR(cloud.xsize, 333.333, 1e-3);
    EXPECT_NEAR(cloud.zsize, 66.667, 1e-3);

    CloudRecord before = cloud;
    cloudApplyPreset(layer, cloud, "Small");
    EXPECT_EQ(cloud.xsize, 250.0);
    EXPECT_EQ(cloud.ysize, 150.0);
    EXPECT_EQ(cloud.zsize, 500.0 * 0.06666666666666667);
    before.xsize = cloud.xsize, before.ysize = cloud.ysize, before.zsize = cloud.zsize;
    EXPECT_TRUE(sameRecord(before, cloud));  // nothing but the three half-extents
}

TEST_F(PresetTest, ReversedExtentGivesSignedSizes)
{
    scene.e[0] = 1000, scene.e[1] = 0;  // x runs backwards: Wx = -1000
    cloudApplyPreset(layer, cloud, "Full");
    EXPECT_EQ(cloud.xsize, -500.0);
    EXPECT_EQ(cloud.ysize, 300.0);
    EXPECT_EQ(cloud.zsize, 600.0 * 0.2);  // the larger of -1000 and 600, with signs

    scene.e[0] = 0, scene.e[1] = 1000, scene.e[2] = 0, scene.e[3] = 600;
    cloudApplyPreset(layer, cloud, "Full");
    EXPECT_EQ(cloud.ysize, -300.0);
    EXPECT_EQ(cloud.zsize, 200.0);
}

TEST_F(PresetTest, NamesIgnoreCaseAndUnknownNamesChangeNothing)
{
    for (const char *name : {"full", "FULL", "fUlL"}) {
        cloudRecordSetDefaults(&cloud);
        cloudApplyPreset(layer, cloud, name);
        EXPECT_EQ(cloud.xsize, 500.0) << name;
    }
    cloudApplyPreset(layer, cloud, "pink fluff");
    EXPECT_EQ(cloud.seed, 12934.0);

    const int before = scene.queries;
    const CloudRecord kept = cloud;
    for (const char *name : {"", "Pink", "Full ", "Huge", "Pink  Fluff"})
        cloudApplyPreset(layer, cloud, name);
    cloudApplyPreset(layer, cloud, nullptr);
    EXPECT_TRUE(sameRecord(kept, cloud));
    // The extent is asked for on every call, whatever the name.
    EXPECT_EQ(scene.queries, before + 6);
}

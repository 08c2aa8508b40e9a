#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

TEST(CloudRecord, FieldsKeepTheirOrderAndTypes)
{
    static_assert(offsetof(CloudRecord, next) == 0, "the list manager links through the first field");
    static_assert(std::is_same_v<decltype(CloudRecord::density), float>);
    static_assert(std::is_same_v<decltype(CloudRecord::seed), double>);
    static_assert(std::is_same_v<decltype(CloudRecord::layers), int32_t>);
    static_assert(std::is_same_v<decltype(CloudRecord::ysize), double>);
    EXPECT_LT(offsetof(CloudRecord, density), offsetof(CloudRecord, cluster));
    EXPECT_LT(offsetof(CloudRecord, height), offsetof(CloudRecord, layers));
    EXPECT_LT(offsetof(CloudRecord, pany), offsetof(CloudRecord, xposition));
    EXPECT_LT(offsetof(CloudRecord, zsize), offsetof(CloudRecord, xslice));
    EXPECT_LT(offsetof(CloudRecord, vTextures), offsetof(CloudRecord, texsize));
    EXPECT_LT(offsetof(CloudRecord, bottomscale), offsetof(CloudRecord, seed));
    EXPECT_LT(offsetof(CloudRecord, green), offsetof(CloudRecord, blue));
    EXPECT_LT(offsetof(CloudLayer, origin), offsetof(CloudLayer, defaultHalfSize));
    EXPECT_LT(offsetof(CloudLayer, defaultHalfSize), offsetof(CloudLayer, boxOnly));
}

TEST(CloudRecord, DefaultsAreExact)
{
    CloudRecord sentinel{};
    CloudRecord r{};
    r.next = &sentinel;
    r.symmetric = 0;
    EXPECT_EQ(cloudRecordSetDefaults(&r), &r);
    EXPECT_EQ(r.next, &sentinel);  // the link is not a parameter
    EXPECT_EQ(r.density, 0.3f);
    EXPECT_EQ(r.cluster, 0.52f);
    EXPECT_EQ(r.detail, 1.0f);
    EXPECT_EQ(r.zoom, 41.0f);
    EXPECT_EQ(r.height, 0.35f);
    EXPECT_EQ(r.layers, 10);
    EXPECT_EQ(r.panx, 0);
    EXPECT_EQ(r.pany, 0);
    EXPECT_EQ(r.xposition, 0.0);
    EXPECT_EQ(r.yposition, 0.0);
    EXPECT_EQ(r.zposition, 0.0);
    EXPECT_EQ(r.xsize, 20000.0);
    EXPECT_EQ(r.ysize, -20000.0);
    EXPECT_EQ(r.zsize, 5000.0);
    EXPECT_EQ(r.xslice, 50);
    EXPECT_EQ(r.yslice, 50);
    EXPECT_EQ(r.zslice, 20);
    EXPECT_EQ(r.hTextures, nullptr);
    EXPECT_EQ(r.vTextures, nullptr);
    EXPECT_EQ(r.texsize, 32);
    EXPECT_EQ(r.symmetric, 1);
    EXPECT_EQ(r.bottomscale, 1.0f);
    EXPECT_EQ(r.seed, 678269.0);
    EXPECT_EQ(r.red, 1.0f);
    EXPECT_EQ(r.green, 1.0f);
    EXPECT_EQ(r.blue, 1.0f);
}

TEST(CloudRecord, AssignCopiesParametersOnly)
{
    CloudRecord src{};
    cloudRecordSetDefaults(&src);
    src.density = 0.75f;
    src.cluster = 0.16000003f;
    src.detail = 3.0f;
    src.zoom = 27.0f;
    src.height = 0.86f;
    src.layers = 7;
    src.panx = -3;
    src.pany = 9;
    src.xposition = 1.5;
    src.yposition = -2.5;
    src.zposition = 3000.0;
    src.xsize = 100.0;
    src.ysize = -200.0;
    src.zsize = 50.0;
    src.xslice = 4;
    src.yslice = 5;
    src.zslice = 6;
    src.texsize = 64;
    src.symmetric = 0;
    src.bottomscale = 2.0f;
    src.seed = 798465.0;
    src.red = 0.933333f;
    src.green = 0.509804f;
    src.blue = 0.25f;
    SliceTexture fakeH[1] = {}, fakeV[1] = {};
    src.hTextures = fakeH;
    src.vTextures = fakeV;

    CloudRecord link{};
    CloudRecord dst{};
    cloudRecordSetDefaults(&dst);
    dst.next = &link;
    cloudRecordAssign(src, &dst);

    EXPECT_EQ(dst.next, &link);
    EXPECT_EQ(dst.hTextures, nullptr);
    EXPECT_EQ(dst.vTextures, nullptr);
    EXPECT_EQ(dst.symmetric, 1);
    EXPECT_EQ(dst.density, src.density);
    EXPECT_EQ(dst.cluster, src.cluster);
    EXPECT_EQ(dst.detail, src.detail);
    EXPECT_EQ(dst.zoom, src.zoom);
    EXPECT_EQ(dst.height, src.height);
    EXPECT_EQ(dst.layers, src.layers);
    EXPECT_EQ(dst.panx, src.panx);
    EXPECT_EQ(dst.pany, src.pany);
    EXPECT_EQ(dst.xposition, src.xposition);
    EXPECT_EQ(dst.yposition, src.yposition);
    EXPECT_EQ(dst.zposition, src.zposition);
    EXPECT_EQ(dst.xsize, src.xsize);
    EXPECT_EQ(dst.ysize, src.ysize);
    EXPECT_EQ(dst.zsize, src.zsize);
    EXPECT_EQ(dst.xslice, src.xslice);
    EXPECT_EQ(dst.yslice, src.yslice);
    EXPECT_EQ(dst.zslice, src.zslice);
    EXPECT_EQ(dst.texsize, src.texsize);
    EXPECT_EQ(dst.bottomscale, src.bottomscale);
    EXPECT_EQ(dst.seed, src.seed);
    EXPECT_EQ(dst.red, src.red);
    EXPECT_EQ(dst.green, src.green);
    EXPECT_EQ(dst.blue, src.blue);
    // The noise state now belongs to the destination.
    EXPECT_EQ(noiseState.period, 27.0f);
    const NoiseGenerator end = noiseGeneratorGet();
    CloudRecord fresh{};
    cloudRecordSetDefaults(&fresh);
    noiseTableBuild(fresh);
    fresh.seed = 798465.0;
    fresh.zoom = 27.0f;
    noiseTableBuild(fresh);
    EXPECT_EQ(noiseGeneratorGet().randPrev, end.randPrev);
    EXPECT_EQ(noiseGeneratorGet().randLast, end.randLast);
}

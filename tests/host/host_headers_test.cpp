// The host headers are the contract between the plug-in and the host: they
// must compile from C++ and C alike and keep the record layouts both rely on.
#include "hlib.h"
#include "hmllib.h"
#include "host_export.h"
#include "host_types.h"
#include "hvislib.h"
#include "tolalib.h"
#include "tolatoollib.h"

#include <gtest/gtest.h>

#include <cstddef>

extern "C" const size_t cloudsCLayout[];
extern "C" const size_t cloudsCLayoutCount;

namespace {

constexpr size_t pointer = sizeof(void *);

TEST(HostHeaders, RecordLayouts) {
    EXPECT_EQ(offsetof(HPointerEvent, code), 0u);
    EXPECT_EQ(offsetof(HPointerEvent, x), 4u);
    EXPECT_EQ(offsetof(HPointerEvent, y), 8u);
    EXPECT_EQ(offsetof(HLayer, instance), 0u);
    EXPECT_EQ(offsetof(HLayer, methods), pointer);
    EXPECT_EQ(offsetof(HScene, ops), 0u);
    EXPECT_EQ(offsetof(HButtonColor, flag1), 32u);
    EXPECT_EQ(offsetof(HBaseData, data), 16u);
}

TEST(HostHeaders, OperationTablesKeepTheirOrder) {
    EXPECT_EQ(offsetof(HSceneOps, sceneRedraw), 0u);
    EXPECT_EQ(offsetof(HSceneOps, sceneCreateLayer), 11 * pointer);
    EXPECT_EQ(offsetof(HSceneOps, scenePickRay), 16 * pointer);
    EXPECT_EQ(sizeof(HSceneOps), 17 * pointer);
    EXPECT_EQ(offsetof(HLayerMethods, close), 0u);
    EXPECT_EQ(offsetof(HLayerMethods, typeName), 5 * pointer);
    EXPECT_EQ(offsetof(HLayerMethods, drawOverlay), 15 * pointer);
    EXPECT_EQ(sizeof(HLayerMethods), 16 * pointer);
}

TEST(HostHeaders, CAndCppAgreeOnLayouts) {
    const size_t cpp[] = {
        sizeof(HPointerEvent), sizeof(HSceneOps),    sizeof(HLayerMethods),
        sizeof(HLayer),        sizeof(HBaseData),    offsetof(HBaseData, columnStep),
        sizeof(HCanvasColor),  sizeof(HButtonColor), sizeof(HStringList),
        sizeof(HPixelRect),    sizeof(HRaster),      sizeof(HStackerCanvas),
        sizeof(HScriptRoot),
    };
    ASSERT_EQ(cloudsCLayoutCount, std::size(cpp));
    for (size_t i = 0; i < std::size(cpp); ++i)
        EXPECT_EQ(cloudsCLayout[i], cpp[i]) << "entry " << i;
}

} // namespace

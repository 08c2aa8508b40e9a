// tool_fixture.h — a real stand-in host scene with the plug-in's script,
// for tests that drive the cloud tool as the host does: commands through
// the script's command table, parts fired as a person edits them.
#ifndef CLOUDS_TESTS_TOOL_TOOL_FIXTURE_H
#define CLOUDS_TESTS_TOOL_TOOL_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/records.h"
#include "viewer/hmllib/script_ui.h"
#include "viewer/tolatoollib/scene.h"

struct ToolTest : ::testing::Test {
    host::Scene scene;
    HScript *script = nullptr;
    std::string dir;  // a scratch folder, removed after the test

    void SetUp() override;
    void TearDown() override;

    // A new empty layer in the scene (bottom first, like the host adds them).
    HLayer *newLayer();
    static CloudLayer &cloudLayer(HLayer *layer);
    static HFrame *dialog(HLayer *layer) { return cloudLayer(layer).dialog; }

    // cloudupdate with the layer as context, as the dialog sends it.
    host::CommandResult update(HLayer *layer, const std::vector<std::string> &args);
    // A command sent with the scene as context (menus, "add", Delete key).
    host::CommandResult sceneCommand(const std::string &name, const std::vector<std::string> &args);
    void openDialog() { sceneCommand("cloudupdate", {"showproperties"}); }
    void addCloud() { sceneCommand("cloudAddcloud", {}); }
    // Sets a part of the layer's dialog and sends its command.
    host::CommandResult set(HLayer *layer, const std::string &part, const std::string &value);
    std::string value(HLayer *layer, const std::string &part);

    static std::vector<CloudRecord *> clouds(HLayer *layer);
    // The popup's items and the text it shows.
    std::vector<std::string> popupItems(HLayer *layer);
};

// The three preview planes, interleaved as RGB.
std::vector<uint8_t> previewPlanes(const CloudLayer &layer);
// The preview that per-pixel noiseFractal gives for editCloud on a canvas
// of that size, interleaved as RGB; sets the noise offsets to the pan.
std::vector<uint8_t> referencePreview(int width, int height);
// Every texture name of a cloud's two stacks.
std::vector<uint32_t> textureNames(const CloudRecord &cloud);

#endif

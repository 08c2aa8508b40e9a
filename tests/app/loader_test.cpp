#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "plugin_loader.h"

using namespace cloudview;

TEST(PluginLoader, FindsEveryEntryPointByName)
{
    const LayerType type = loadLayerType(PLUGIN);
    EXPECT_EQ(type.typeName, "Clouds");
    EXPECT_EQ(type.fileKey, "cloud");
    EXPECT_EQ(type.fileTitleIdentify(), -1);
    EXPECT_EQ(type.instanceExtListGet(), nullptr);
    EXPECT_STREQ(type.getTypeName(), "Clouds");
    EXPECT_NE(type.interfaceInit(), nullptr);
}

TEST(PluginLoader, ExportsExactlyTheSevenEntryPoints)
{
    FILE *pipe = popen("nm -D --defined-only " PLUGIN, "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string s(line);
        const size_t space = s.find_last_of(' ');
        names.insert(s.substr(space + 1, s.size() - space - 2));
    }
    pclose(pipe);
    const std::set<std::string> expected = {
        "cloudFileTitleIdentify",  "cloudtlLayerInterfaceInit", "cloudtlLayerGetTypeName",
        "cloudtlLayerGetInterfaceFileTypeDef", "cloudtlLayerCreate", "cloudtlLayerOpen",
        "cloudInstanceExtListGet"};
    EXPECT_EQ(names, expected);
}

TEST(PluginLoader, ReportsWhatIsMissing)
{
    try {
        loadLayerType("/nonexistent/libtlcloud.so");
        FAIL();
    } catch (const PluginError &e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/libtlcloud.so: cannot load plug-in"),
                  std::string::npos);
    }
    try {
        loadLayerType(HOSTLIB);  // a library, but not a layer type
        FAIL();
    } catch (const PluginError &e) {
        EXPECT_NE(std::string(e.what()).find("missing entry point cloudFileTitleIdentify"),
                  std::string::npos)
            << e.what();
    }
}

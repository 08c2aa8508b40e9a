// plugin_loader.h — loads a layer-type plug-in the way the host does: by
// file with dlopen, then every entry point by name with dlsym.
#ifndef CLOUDS_VIEWER_APP_PLUGIN_LOADER_H
#define CLOUDS_VIEWER_APP_PLUGIN_LOADER_H

#include <stdexcept>
#include <string>

#include "host_types.h"

namespace cloudview {

struct LayerType {
    int32_t (*fileTitleIdentify)(void) = nullptr;
    HScript *(*interfaceInit)(void) = nullptr;
    const char *(*getTypeName)(void) = nullptr;
    char *(*getInterfaceFileTypeDef)(char **typeName, char **fileKey) = nullptr;
    HLayerCreateFn create = nullptr;
    HLayerCreateFn open = nullptr;
    void *(*instanceExtListGet)(void) = nullptr;

    std::string typeName;  // "Clouds"
    std::string fileKey;   // "cloud"
    std::string path;
    void *handle = nullptr;
};

struct PluginError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Loads the plug-in at path, finds its entry points, initialises its
// interface and asks its type name and file key. Throws PluginError naming
// the file and the missing symbol (with dlerror()'s text).
LayerType loadLayerType(const std::string &path);

// The plug-in beside the running executable.
std::string defaultPluginPath();

}  // namespace cloudview

#endif

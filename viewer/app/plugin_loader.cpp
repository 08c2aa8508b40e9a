#include "plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "hlib.h"

namespace cloudview {

namespace {

template <typename Fn>
void find(void *handle, const std::string &path, const char *name, Fn &out)
{
    dlerror();
    void *symbol = dlsym(handle, name);
    const char *error = dlerror();
    if (error || !symbol)
        throw PluginError(path + ": missing entry point " + name + ": " +
                          (error ? error : "null symbol"));
    out = reinterpret_cast<Fn>(symbol);
}

}  // namespace

LayerType loadLayerType(const std::string &path)
{
    LayerType type;
    type.path = path;
    // RTLD_LOCAL: a plug-in sees the host's libraries, never another plug-in.
    type.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!type.handle) {
        const char *error = dlerror();
        throw PluginError(path + ": cannot load plug-in: " + (error ? error : "unknown error"));
    }
    find(type.handle, path, "cloudFileTitleIdentify", type.fileTitleIdentify);
    find(type.handle, path, "cloudtlLayerInterfaceInit", type.interfaceInit);
    find(type.handle, path, "cloudtlLayerGetTypeName", type.getTypeName);
    find(type.handle, path, "cloudtlLayerGetInterfaceFileTypeDef", type.getInterfaceFileTypeDef);
    find(type.handle, path, "cloudtlLayerCreate", type.create);
    find(type.handle, path, "cloudtlLayerOpen", type.open);
    find(type.handle, path, "cloudInstanceExtListGet", type.instanceExtListGet);

    type.interfaceInit();
    char *name = nullptr, *key = nullptr;
    type.getInterfaceFileTypeDef(&name, &key);
    type.typeName = name ? name : "";
    type.fileKey = key ? key : "";
    hmsc_HeapFree(name);
    hmsc_HeapFree(key);
    return type;
}

std::string defaultPluginPath()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "libtlcloud.so";
    exe[n] = '\0';
    std::string dir(exe);
    dir.erase(dir.find_last_of('/') + 1);
    return dir + "libtlcloud.so";
}

}  // namespace cloudview

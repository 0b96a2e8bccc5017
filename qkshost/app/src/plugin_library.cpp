#include "plugin_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "drawing_files.h"

namespace qkshost {

namespace {

std::string fileNameOf(const std::string& path) {
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::optional<LoadedPlugin> openPluginLibrary(const std::string& path,
                                              const std::vector<LoadedPlugin>& loaded,
                                              std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "no such file";
        return std::nullopt;
    }
    const std::string canonical = app::canonicalPath(path);
    for (const LoadedPlugin& p : loaded)
        if (p.path == canonical) {
            error = "already loaded";
            return std::nullopt;
        }
    void* handle = ::dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        error = why ? why : "cannot load";
        return std::nullopt;
    }
    auto version = reinterpret_cast<QksApiVersionFunction>(::dlsym(handle, "acrxGetApiVersion"));
    auto entry = reinterpret_cast<QksEntryPointFunction>(::dlsym(handle, "acrxEntryPoint"));
    if (version == nullptr || entry == nullptr) {
        ::dlclose(handle);
        error = "not a plug-in (no acrxEntryPoint or acrxGetApiVersion)";
        return std::nullopt;
    }
    if (version() != qks::host::kHostApiVersion) {
        ::dlclose(handle);
        error = "built for another host interface version";
        return std::nullopt;
    }
    return LoadedPlugin{canonical, fileNameOf(canonical), handle, entry};
}

}  // namespace qkshost

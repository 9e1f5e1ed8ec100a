#include "curl_api.hpp"

#include <dlfcn.h>

namespace razavovivodidi::curl_api {

namespace {

// The soname of the libcurl the program was built against (libcurl4).
constexpr const char* kLibrary = "libcurl.so.4";

template <class Function>
bool resolve(void* library, const char* name, Function& out) {
    out = reinterpret_cast<Function>(::dlsym(library, name));
    return out != nullptr;
}

std::expected<const CurlApi*, std::string> load() {
    // Never unloaded: curl keeps global state for the life of the process.
    void* library = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return std::unexpected(std::string("the HTTP client library could not be loaded: ") + ::dlerror());
    static CurlApi api{};
    CURLcode (*global_init)(long) = nullptr;
    if (!resolve(library, "curl_global_init", global_init) || !resolve(library, "curl_easy_strerror", api.easy_strerror) ||
        !resolve(library, "curl_easy_init", api.easy_init) || !resolve(library, "curl_easy_cleanup", api.easy_cleanup) ||
        !resolve(library, "curl_easy_setopt", api.easy_setopt) ||
        !resolve(library, "curl_easy_perform", api.easy_perform) ||
        !resolve(library, "curl_easy_getinfo", api.easy_getinfo) ||
        !resolve(library, "curl_slist_append", api.slist_append) ||
        !resolve(library, "curl_slist_free_all", api.slist_free_all)) {
        return std::unexpected(std::string("the HTTP client library could not be loaded: ") + ::dlerror());
    }
    if (const CURLcode rc = global_init(CURL_GLOBAL_DEFAULT); rc != CURLE_OK) {
        return std::unexpected(std::string(api.easy_strerror(rc)));
    }
    return &api;
}

}  // namespace

std::expected<const CurlApi*, std::string> curl() {
    static const auto loaded = load();
    return loaded;
}

}  // namespace razavovivodidi::curl_api

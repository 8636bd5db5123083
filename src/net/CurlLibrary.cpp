#include "net/CurlLibrary.h"

#ifndef TALLYHAWK_CURL_LINKED
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#endif

namespace tallyhawk {

namespace {

struct Loaded {
    CCurlFunctions functions{};
    bool ok = false;
    std::string error;
};

#ifdef TALLYHAWK_CURL_LINKED

void Load(Loaded& loaded) {
    loaded.functions = {
        &::curl_global_init,
        &::curl_free,
        &::curl_easy_init,
        &::curl_easy_cleanup,
        &::curl_easy_setopt,
        &::curl_easy_getinfo,
        &::curl_multi_init,
        &::curl_multi_cleanup,
        &::curl_multi_add_handle,
        &::curl_multi_remove_handle,
        &::curl_multi_perform,
        &::curl_multi_poll,
        &::curl_multi_wakeup,
        &::curl_multi_info_read,
        &::curl_url,
        &::curl_url_cleanup,
        &::curl_url_set,
        &::curl_url_get,
    };
    loaded.ok = true;
}

#else

#ifdef _WIN32
using Handle = HMODULE;
Handle Open(const char* name) {
    return LoadLibraryA(name);
}
void* Symbol(Handle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}
std::string LastError() {
    return "error " + std::to_string(GetLastError());
}
#else
using Handle = void*;
// RTLD_LOCAL: libcurl's symbols stay out of the global scope, where they
// could stand in for those of another copy that some other library loads.
Handle Open(const char* name) {
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}
void* Symbol(Handle library, const char* name) {
    return dlsym(library, name);
}
std::string LastError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}
#endif

template <typename Function>
bool Find(Handle library, const char* name, Function& function, std::string& error) {
    void* address = Symbol(library, name);
    if (!address) {
        error = std::string("libcurl has no ") + name;
        return false;
    }
    function = reinterpret_cast<Function>(address);
    return true;
}

void Load(Loaded& loaded) {
    Handle library = Open(TALLYHAWK_CURL_SONAME);
    if (!library) {
        loaded.error = "cannot load " TALLYHAWK_CURL_SONAME ": " + LastError();
        return;
    }
    CCurlFunctions& f = loaded.functions;
    std::string& e = loaded.error;
    loaded.ok =
        Find(library, "curl_global_init", f.global_init, e) &&
        Find(library, "curl_free", f.free, e) && Find(library, "curl_easy_init", f.easy_init, e) &&
        Find(library, "curl_easy_cleanup", f.easy_cleanup, e) &&
        Find(library, "curl_easy_setopt", f.easy_setopt, e) &&
        Find(library, "curl_easy_getinfo", f.easy_getinfo, e) &&
        Find(library, "curl_multi_init", f.multi_init, e) &&
        Find(library, "curl_multi_cleanup", f.multi_cleanup, e) &&
        Find(library, "curl_multi_add_handle", f.multi_add_handle, e) &&
        Find(library, "curl_multi_remove_handle", f.multi_remove_handle, e) &&
        Find(library, "curl_multi_perform", f.multi_perform, e) &&
        Find(library, "curl_multi_poll", f.multi_poll, e) &&
        Find(library, "curl_multi_wakeup", f.multi_wakeup, e) &&
        Find(library, "curl_multi_info_read", f.multi_info_read, e) &&
        Find(library, "curl_url", f.url, e) &&
        Find(library, "curl_url_cleanup", f.url_cleanup, e) &&
        Find(library, "curl_url_set", f.url_set, e) && Find(library, "curl_url_get", f.url_get, e);
    // The library stays open for the rest of the run either way: a handle
    // or callback of it may outlive any owner that could close it.
}

#endif

const Loaded& Library() {
    static const Loaded loaded = [] {
        Loaded result;
        Load(result);
        return result;
    }();
    return loaded;
}

}  // namespace

const CCurlFunctions* CurlLibrary() {
    const Loaded& loaded = Library();
    return loaded.ok ? &loaded.functions : nullptr;
}

std::string CurlLoadError() {
    return Library().error;
}

}  // namespace tallyhawk

#include "net/CurlLibrary.h"

#include "base/SharedLibrary.h"

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
        &::curl_getdate,
        &::curl_slist_append,
        &::curl_slist_free_all,
    };
    loaded.ok = true;
}

#else

void Load(Loaded& loaded) {
    CSharedLibrary library;
    if (!library.Open(TALLYHAWK_CURL_SONAME)) {
        loaded.error = library.Error();
        return;
    }
    CCurlFunctions& f = loaded.functions;
    loaded.ok = library.Find("curl_global_init", f.global_init) &&
                library.Find("curl_free", f.free) && library.Find("curl_easy_init", f.easy_init) &&
                library.Find("curl_easy_cleanup", f.easy_cleanup) &&
                library.Find("curl_easy_setopt", f.easy_setopt) &&
                library.Find("curl_easy_getinfo", f.easy_getinfo) &&
                library.Find("curl_multi_init", f.multi_init) &&
                library.Find("curl_multi_cleanup", f.multi_cleanup) &&
                library.Find("curl_multi_add_handle", f.multi_add_handle) &&
                library.Find("curl_multi_remove_handle", f.multi_remove_handle) &&
                library.Find("curl_multi_perform", f.multi_perform) &&
                library.Find("curl_multi_poll", f.multi_poll) &&
                library.Find("curl_multi_wakeup", f.multi_wakeup) &&
                library.Find("curl_multi_info_read", f.multi_info_read) &&
                library.Find("curl_url", f.url) &&
                library.Find("curl_url_cleanup", f.url_cleanup) &&
                library.Find("curl_url_set", f.url_set) &&
                library.Find("curl_url_get", f.url_get) &&
                library.Find("curl_getdate", f.getdate) &&
                library.Find("curl_slist_append", f.slist_append) &&
                library.Find("curl_slist_free_all", f.slist_free_all);
    if (!loaded.ok) loaded.error = library.Error();
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

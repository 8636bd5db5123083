#include "base/SharedLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tallyhawk {

bool CSharedLibrary::Open(const char* name) {
    soname = name;
#ifdef _WIN32
    handle = reinterpret_cast<void*>(LoadLibraryA(name));
    if (!handle) error = "cannot load " + soname + ": error " + std::to_string(GetLastError());
#else
    // RTLD_LOCAL: its symbols stay out of the global scope, where they could
    // stand in for those of another copy that some other library loads.
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        error = "cannot load " + soname + ": " + (text ? text : "unknown error");
    }
#endif
    return handle != nullptr;
}

void* CSharedLibrary::Symbol(const char* name) {
    void* address = nullptr;
    if (handle) {
#ifdef _WIN32
        address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
        address = dlsym(handle, name);
#endif
    }
    if (!address) error = soname + " has no " + name;
    return address;
}

}  // namespace tallyhawk

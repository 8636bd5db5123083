// A shared library opened at run time: for what the programs need only now
// and then (libcurl for downloads, SQLite for importing Firefox bookmarks),
// so that a run that does not use it does not load and relocate it at start.
//
// A library, once open, stays open for the rest of the run: handles and
// callbacks of it may outlive any owner that could close it.
#pragma once

#include <string>

namespace tallyhawk {

class CSharedLibrary {
public:
    // Opens the library by its soname, as the dynamic linker would find it;
    // false with Error() set when it cannot be found or loaded.
    bool Open(const char* soname);

    // Sets `function` to the library's function `name`; false with Error()
    // set when the library has none.
    template <typename Function>
    bool Find(const char* name, Function& function) {
        void* address = Symbol(name);
        if (!address) return false;
        function = reinterpret_cast<Function>(address);
        return true;
    }

    const std::string& Error() const { return error; }

private:
    void* Symbol(const char* name);

    void* handle = nullptr;
    std::string soname;
    std::string error;
};

}  // namespace tallyhawk

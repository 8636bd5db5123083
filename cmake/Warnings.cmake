# tallyhawk_warnings(target): the project's warning policy, applied per target;
# -Werror with TALLYHAWK_WERROR.
# GCC 12 at -O3 reports overlapping copies inside std::string itself
# (GCC bug 105329: "s = \"d\"" or a concatenation is enough), so -Wrestrict
# says nothing there about our code; clang and AddressSanitizer still check.
function(tallyhawk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TALLYHAWK_WERROR}>:-Werror>
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# tallyhawk_library(name folder sources...): one library target per source folder.
function(tallyhawk_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  tallyhawk_warnings(${name})
endfunction()

# tallyhawk_warnings(target): the project's warning policy, applied per target;
# -Werror with TALLYHAWK_WERROR.
function(tallyhawk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TALLYHAWK_WERROR}>:-Werror>)
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# tallyhawk_library(name folder sources...): one library target per source folder.
function(tallyhawk_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  tallyhawk_warnings(${name})
endfunction()

# -DTALLYHAWK_SANITIZE=address,undefined or -DTALLYHAWK_SANITIZE=thread
if(TALLYHAWK_SANITIZE)
  message(STATUS "Building with -fsanitize=${TALLYHAWK_SANITIZE}")
  add_compile_options(-fsanitize=${TALLYHAWK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TALLYHAWK_SANITIZE})
endif()

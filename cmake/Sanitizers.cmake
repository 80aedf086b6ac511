# MICROTUNE_SANITIZE: a comma-separated list for -fsanitize (the asan preset).
set(MICROTUNE_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined")
if(MICROTUNE_SANITIZE)
  add_compile_options(-fsanitize=${MICROTUNE_SANITIZE} -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${MICROTUNE_SANITIZE})
endif()

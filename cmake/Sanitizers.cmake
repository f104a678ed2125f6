# STANVEX_SANITIZE=address,undefined or thread: applied to everything built.
if(STANVEX_SANITIZE)
  add_compile_options(-fsanitize=${STANVEX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${STANVEX_SANITIZE})
endif()

# Applies KSV_SANITIZE (for example "address,undefined" or "thread") to every
# target of the project.
if(KSV_SANITIZE)
  add_compile_options(-fsanitize=${KSV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KSV_SANITIZE})
endif()

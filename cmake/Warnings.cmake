# ksv_warnings(target): the project's warning set; errors when KSV_WERROR is on.
function(ksv_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(KSV_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(KSV_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# The sources are UTF-8 (the window's Russian texts); MSVC must be told.
if(MSVC)
  add_compile_options(/utf-8)
endif()

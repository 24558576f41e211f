# ksv_warnings(target): the project's warning set; errors when KSV_WERROR is on.
function(ksv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KSV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

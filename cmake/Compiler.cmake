# Warnings and sanitizers applied to every target of ours.
function(lw_apply_compiler_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(LW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(LW_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

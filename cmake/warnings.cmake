function(koa_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
                         -Wshadow -Wconversion -Wno-sign-conversion)
endfunction()

# One warning set for every target of the project (not for third-party code).
set(KST_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
if(KST_WERROR)
  list(APPEND KST_WARNINGS -Werror)
endif()

function(kst_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${KST_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE ${KST_WARNINGS})
  endif()
endfunction()

# kst_strip_symbols(program): the program as linked keeps its symbol table, which makes up half
# of its size. After the link its symbols go into <program>.exe.debug beside it in the build
# tree (kept for crash analysis, never packaged) and the program itself is stripped, with a
# link to that file that debuggers follow. So the tests run the very file that is shipped.
# MSVC keeps its symbols in a .pdb anyway.
function(kst_strip_symbols program)
  if(NOT MINGW OR NOT CMAKE_OBJCOPY)
    return()
  endif()
  set(exe $<TARGET_FILE:${program}>)
  add_custom_command(TARGET ${program} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${exe}.debug ${exe}
    VERBATIM)
endfunction()

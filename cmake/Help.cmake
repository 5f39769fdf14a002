# kst_add_chm(program source_dir): compiles the HTML Help project in source_dir (one .hhp file,
# its pages, contents and index) with chmcmd into <program>.chm beside the program, which looks
# for its help file at its own path with the extension ".chm". Windows builds only. The texts
# (.hhp, .hhc, .hhk, .htm, .html) may name @PROJECT_VERSION@; it is filled in from the project.
find_program(KST_CHMCMD chmcmd)

function(kst_add_chm program source_dir)
  if(NOT KST_CHMCMD)
    message(FATAL_ERROR "chmcmd (Debian package fp-utils-3.2.2) is needed to build the help files")
  endif()
  file(GLOB projects ${source_dir}/*.hhp)
  list(LENGTH projects count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${source_dir} needs exactly one .hhp file")
  endif()
  get_filename_component(project_name ${projects} NAME)
  file(GLOB_RECURSE sources RELATIVE ${source_dir} CONFIGURE_DEPENDS ${source_dir}/*)
  set(staged_dir ${CMAKE_CURRENT_BINARY_DIR}/help-${program}-sources)
  set(staged)
  foreach(source ${sources})
    if(source MATCHES "\\.(hhp|hhc|hhk|htm|html)$")
      configure_file(${source_dir}/${source} ${staged_dir}/${source} @ONLY)
    else()
      configure_file(${source_dir}/${source} ${staged_dir}/${source} COPYONLY)
    endif()
    list(APPEND staged ${staged_dir}/${source})
  endforeach()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/help-${program})
  set(chm ${CMAKE_CURRENT_BINARY_DIR}/${program}.chm)
  # chmcmd writes the file the project names ("Compiled file="); it is renamed to the
  # program's name, so that the project files need not know it.
  add_custom_command(
    OUTPUT ${chm}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${staged_dir} ${work}
    # The work folder is made afresh above, so the command cannot start inside it.
    COMMAND ${CMAKE_COMMAND} -E chdir ${work} ${KST_CHMCMD} --no-html-scan ${project_name} > help-${program}.log
    COMMAND ${CMAKE_COMMAND} -DWORK=${work} -DOUT=${chm} -P ${CMAKE_SOURCE_DIR}/cmake/MoveChm.cmake
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DEPENDS ${staged} ${CMAKE_SOURCE_DIR}/cmake/MoveChm.cmake
    COMMENT "Compiling the help file ${program}.chm"
    VERBATIM)
  add_custom_target(${program}_help ALL DEPENDS ${chm})
  add_dependencies(${program} ${program}_help)
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multi_config)
    # Visual Studio puts the program into a folder per configuration: the help file goes there too.
    add_custom_command(TARGET ${program} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${chm} $<TARGET_FILE_DIR:${program}>
      VERBATIM)
  endif()
endfunction()

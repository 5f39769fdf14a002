# Moves the one .chm that chmcmd wrote in WORK to OUT.
file(GLOB chms ${WORK}/*.chm)
list(LENGTH chms count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .chm in ${WORK}, found ${count}")
endif()
file(RENAME ${chms} ${OUT})

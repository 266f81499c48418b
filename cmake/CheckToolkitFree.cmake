# Fails when a source in a toolkit-free folder includes a Qt header.
#   cmake -DSOURCE_DIR=<checkout> "-DDIRS=framework;sound;..." -P CheckToolkitFree.cmake
set(offences)
foreach(dir ${DIRS})
  file(GLOB sources ${SOURCE_DIR}/${dir}/*.cpp ${SOURCE_DIR}/${dir}/*.h)
  foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Qt[A-Za-z]*/)?Q[A-Za-z]")
    foreach(line ${lines})
      file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
      string(STRIP "${line}" line)
      list(APPEND offences "  ${name}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(offences)
  list(JOIN offences "\n" text)
  message(FATAL_ERROR "These sources live in a toolkit-free folder (${DIRS}) but include Qt; "
    "move them to a Qt folder or drop the include:\n${text}")
endif()

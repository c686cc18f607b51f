# Stages the Windows files of the medium in MEDIUM (cmake -P): the program and
# the disc's own diagnostic viewer in gtk/bin with every library they load from
# PREFIX/bin, and the stand-ins in Program/. make-sample-medium --windows copies
# this tree onto a disc.
#   -DMEDIUM= -DPREFIX= -DRUNTIME_DIRS= -DPROGRAM= -DOWN_VIEWER= -DVIEWER= -DINSTALLER= -DOBJDUMP= -DSTRIP=
# RUNTIME_DIRS holds the compiler's own libraries (libgcc, winpthread), which
# the C libraries of the stack load. Everything goes on the disc stripped of
# its debugging information.
file(REMOVE_RECURSE ${MEDIUM})
file(MAKE_DIRECTORY ${MEDIUM}/gtk/bin ${MEDIUM}/Program/FRAMEWORK)
function(stage from to)
  execute_process(COMMAND ${STRIP} --strip-debug -o ${to} ${from} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${from} cannot be copied to ${to}")
  endif()
endfunction()
stage(${PROGRAM} ${MEDIUM}/gtk/bin/velmora-brelantor.exe)
stage(${OWN_VIEWER} ${MEDIUM}/gtk/bin/velmora-viewer.exe)
stage(${VIEWER} ${MEDIUM}/Program/DICOMViewer.exe)
stage(${INSTALLER} ${MEDIUM}/Program/FRAMEWORK/dotnetfx.exe)

# The system's own libraries are left out: only those found in the prefix and
# the compiler's folders go along.
string(REPLACE "|" ";" RUNTIME_DIRS "${RUNTIME_DIRS}")
set(included "^${PREFIX}/bin/")
foreach(folder ${RUNTIME_DIRS})
  list(APPEND included "^${folder}/")
endforeach()
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${OBJDUMP})
file(GET_RUNTIME_DEPENDENCIES
     EXECUTABLES ${PROGRAM} ${OWN_VIEWER} ${VIEWER} ${INSTALLER}
     DIRECTORIES ${PREFIX}/bin ${RUNTIME_DIRS}
     RESOLVED_DEPENDENCIES_VAR libraries
     UNRESOLVED_DEPENDENCIES_VAR system
     CONFLICTING_DEPENDENCIES_PREFIX conflicting
     PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
     POST_INCLUDE_REGEXES ${included}
     POST_EXCLUDE_REGEXES ".*")
# A library found in more than one folder (zlib) comes from the first.
foreach(name ${conflicting_FILENAMES})
  list(GET conflicting_${name} 0 first)
  list(APPEND libraries ${first})
endforeach()
foreach(library ${libraries})
  get_filename_component(name ${library} NAME)
  stage(${library} ${MEDIUM}/gtk/bin/${name})
endforeach()
# The viewer stand-in finds the same libraries beside it.
foreach(folder Program)
  foreach(library ${libraries})
    get_filename_component(name ${library} NAME)
    file(CREATE_LINK ${MEDIUM}/gtk/bin/${name} ${MEDIUM}/${folder}/${name} COPY_ON_ERROR)
  endforeach()
endforeach()
list(LENGTH libraries count)
message(STATUS "Windows files of the medium in ${MEDIUM}: the programs and ${count} libraries")

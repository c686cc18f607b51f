# Stages the Windows files of the medium in MEDIUM (cmake -P): the program in
# gtk/bin with every library it loads from PREFIX/bin, and the stand-ins in
# Program/. make-sample-medium --windows copies this tree onto a disc.
#   -DMEDIUM= -DPREFIX= -DPROGRAM= -DVIEWER= -DINSTALLER= -DOBJDUMP=
file(REMOVE_RECURSE ${MEDIUM})
file(MAKE_DIRECTORY ${MEDIUM}/gtk/bin ${MEDIUM}/Program/FRAMEWORK)
file(COPY_FILE ${PROGRAM} ${MEDIUM}/gtk/bin/velmora-brelantor.exe)
file(COPY_FILE ${VIEWER} ${MEDIUM}/Program/DICOMViewer.exe)
file(COPY_FILE ${INSTALLER} ${MEDIUM}/Program/FRAMEWORK/dotnetfx.exe)

# The system's own libraries are left out: only those found in the prefix go along.
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${OBJDUMP})
file(GET_RUNTIME_DEPENDENCIES
     EXECUTABLES ${PROGRAM} ${VIEWER} ${INSTALLER}
     DIRECTORIES ${PREFIX}/bin
     RESOLVED_DEPENDENCIES_VAR libraries
     UNRESOLVED_DEPENDENCIES_VAR system
     PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
     POST_INCLUDE_REGEXES "^${PREFIX}/bin/"
     POST_EXCLUDE_REGEXES ".*")
foreach(library ${libraries})
  get_filename_component(name ${library} NAME)
  file(COPY_FILE ${library} ${MEDIUM}/gtk/bin/${name})
endforeach()
# The viewer stand-in finds the same libraries beside it.
foreach(folder Program)
  foreach(library ${libraries})
    get_filename_component(name ${library} NAME)
    file(CREATE_LINK ${MEDIUM}/gtk/bin/${name} ${MEDIUM}/${folder}/${name} COPY_ON_ERROR)
  endforeach()
endforeach()
list(LENGTH libraries count)
message(STATUS "Windows files of the medium in ${MEDIUM}: the program and ${count} libraries")

# The layers of src/, lowest first. A library may include headers of, and
# link, the libraries of lower layers only; within a layer, only the edges
# named below. Configuration stops at the first include or link that breaks
# this. Run as a script (cmake -DULVO_SOURCE_DIR=... -P LayerCheck.cmake) it
# checks the includes alone, so a test can catch an edit made after configure.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()
set(ULVO_LAYERS core ui "view|ocr|paint|scan|xlsx|signature|export" app)
# Feature libraries that use another feature library.
set(ULVO_LAYER_EDGES signature>paint export>view)

set(rank 0)
foreach(layer IN LISTS ULVO_LAYERS)
  string(REPLACE "|" ";" members "${layer}")
  foreach(lib IN LISTS members)
    set(ULVO_RANK_${lib} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

# Fails naming `what` when library `user` may not use library `used`.
function(ulvo_layer_require user used what)
  if(user STREQUAL used OR ULVO_RANK_${used} LESS ULVO_RANK_${user} OR "${user}>${used}" IN_LIST ULVO_LAYER_EDGES)
    return()
  endif()
  string(REPLACE ";" " < " order "${ULVO_LAYERS}")
  string(REPLACE ";" ", " edges "${ULVO_LAYER_EDGES}")
  message(FATAL_ERROR "Layer check: ${what}: library '${user}' may not use library '${used}' "
                      "(layers: ${order}; within a layer only ${edges}; see cmake/LayerCheck.cmake)")
endfunction()

# Every #include "..." of src/<lib>/*.h|*.cpp, resolved to the library whose
# folder holds the header: "lib/Foo.h" directly, "Foo.h" in the including
# library first, then in whichever library has it.
function(ulvo_check_layer_includes src)
  string(REPLACE "|" ";" libs "${ULVO_LAYERS}")
  foreach(lib IN LISTS libs)
    file(GLOB headers RELATIVE ${src}/${lib} ${src}/${lib}/*.h)
    foreach(header IN LISTS headers)
      set(owner_${header} ${lib})
    endforeach()
  endforeach()
  foreach(lib IN LISTS libs)
    file(GLOB files ${src}/${lib}/*.h ${src}/${lib}/*.cpp)
    foreach(file IN LISTS files)
      file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" name "${line}")
        set(used "")
        if(name MATCHES "^([^/]+)/(.+)$" AND CMAKE_MATCH_1 IN_LIST libs AND EXISTS ${src}/${name})
          set(used ${CMAKE_MATCH_1})
        elseif(EXISTS ${src}/${lib}/${name})
          set(used ${lib})
        elseif(DEFINED owner_${name})
          set(used ${owner_${name}})
        endif()
        if(used)
          file(RELATIVE_PATH shown ${src}/.. ${file})
          ulvo_layer_require(${lib} ${used} "${shown} includes \"${name}\" of src/${used}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# Every ulvo_<lib> a library's target links.
function(ulvo_check_layer_links)
  string(REPLACE "|" ";" libs "${ULVO_LAYERS}")
  foreach(lib IN LISTS libs)
    if(NOT TARGET ulvo_${lib})
      continue()
    endif()
    get_target_property(linked ulvo_${lib} LINK_LIBRARIES)
    get_target_property(interface ulvo_${lib} INTERFACE_LINK_LIBRARIES)
    foreach(item IN LISTS linked interface)
      if(item MATCHES "^ulvo_(.+)$" AND CMAKE_MATCH_1 IN_LIST libs)
        ulvo_layer_require(${lib} ${CMAKE_MATCH_1} "target ulvo_${lib} links ${item}")
      endif()
    endforeach()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  ulvo_check_layer_includes(${ULVO_SOURCE_DIR})
endif()

# The prebuilt libpdfium.so comes from a pinned npm package (scripts/setup.sh runs npm ci).
set(ULVO_PDFIUM_LIB
    "${CMAKE_SOURCE_DIR}/third_party/pdfium/node_modules/@craftlions/pdfium-rs-linux-x64-gnu/libpdfium.so")
if(NOT EXISTS "${ULVO_PDFIUM_LIB}")
  message(FATAL_ERROR "libpdfium.so is missing at ${ULVO_PDFIUM_LIB}.\n"
                      "Run scripts/setup.sh (or ./test.sh / ./run.sh): it installs pdfium with npm ci.")
endif()
add_library(pdfium SHARED IMPORTED GLOBAL)
set_target_properties(pdfium PROPERTIES IMPORTED_LOCATION "${ULVO_PDFIUM_LIB}" IMPORTED_NO_SONAME ON)
get_filename_component(ULVO_PDFIUM_DIR "${ULVO_PDFIUM_LIB}" DIRECTORY)
# Every binary finds the library where npm put it.
set(CMAKE_BUILD_RPATH "${ULVO_PDFIUM_DIR}")
set(CMAKE_INSTALL_RPATH "${ULVO_PDFIUM_DIR}")

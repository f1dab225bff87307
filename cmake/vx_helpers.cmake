# A layer library from every .cpp of a folder (tests and backends aside).
function(vx_layer name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# A windowless program with a Unicode entry point on Windows.
function(vx_console_program name)
  add_executable(${name} ${ARGN})
  if(WIN32)
    target_link_options(${name} PRIVATE -municode)
  endif()
endfunction()

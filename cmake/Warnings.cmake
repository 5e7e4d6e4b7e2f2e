# Warnings for Tavimo's own targets (not for third-party headers). CI turns them into errors.
option(TAVIMO_WERROR "Treat warnings in Tavimo's own targets as errors" OFF)
function(tavimo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-align)
  if(TAVIMO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A static library for one source folder: tavimo_library(name SOURCES ... DEPS ...)
function(tavimo_library name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_DEPS})
  tavimo_warnings(${name})
endfunction()

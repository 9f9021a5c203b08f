# quake_program(NAME): the targets of one program in folder NAME/.
#
# Every NAME/*.cpp but main.cpp goes into the static library NAME_lib, with
# the folder as its public include directory and linked to common, so the
# tests and the fuzz harnesses drive the program's steps without a process.
# The executable NAME is main.cpp linked to NAME_lib, installed to bin. A
# program that needs more libraries adds them after the call:
#   target_link_libraries(NAME_lib PUBLIC ...)
include(GNUInstallDirs)

function(quake_program name)
  file(GLOB lib_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(REMOVE_ITEM lib_sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  add_library(${name}_lib STATIC ${lib_sources})
  target_include_directories(${name}_lib PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_lib PUBLIC common)
  add_executable(${name} main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_lib)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Every program library, for the fuzz harnesses (tests/fuzz/CMakeLists.txt).
  set_property(GLOBAL APPEND PROPERTY QUAKE_PROGRAM_LIBS ${name}_lib)
endfunction()

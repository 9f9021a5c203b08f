# crmath: the correctly rounded single-precision sinf, cosf, sincosf, acosf
# and powf that every program and test links, so a distance or a radius comes
# out the same bit for bit whatever libm the machine has.
#
# The functions come from LLVM's libc archive (Debian package
# libllvmlibc-19-dev). That archive also defines printf, memcpy, strlen and
# hundreds more; linked in front of glibc it would silently replace them. So
# only the math is taken: a partial link pulls the five functions and
# whatever they need out of the archive into one object, and objcopy then
# leaves exactly those five names global. Everything they dragged along
# (LLVM's errno shim, tables, helpers) is local to the object and cannot
# stand in for any libc function of the programs.
#
# The object itself is on the link line (not an archive member), so its
# definitions win over libm's whatever the order of the libraries.
#
# -DQUAKE_PLATFORM_LIBM=ON uses the platform libm instead.

set(CRMATH_FUNCTIONS sinf cosf sincosf acosf powf)

option(QUAKE_PLATFORM_LIBM
  "Use the platform libm instead of the correctly rounded math (results may differ in the last bit)" OFF)

add_library(crmath INTERFACE)

if(QUAKE_PLATFORM_LIBM)
  message(WARNING
    "QUAKE_PLATFORM_LIBM=ON: sinf, cosf, acosf and powf come from the platform libm. "
    "Distances and radii may then differ in the last bit from the correctly rounded ones, "
    "short distances by a step of several hundred metres; test_crmath, test_geometry and "
    "check_crmath_symbols then fail.")
  target_link_libraries(crmath INTERFACE m)
  return()
endif()

# A path remembered from an earlier configure is searched again once the file is gone.
if(CRMATH_LLVMLIBC_ARCHIVE AND NOT EXISTS "${CRMATH_LLVMLIBC_ARCHIVE}")
  unset(CRMATH_LLVMLIBC_ARCHIVE CACHE)
endif()
find_file(CRMATH_LLVMLIBC_ARCHIVE libllvmlibc.a
  PATHS /usr/lib/llvm-19/lib
  NO_DEFAULT_PATH)
if(NOT CRMATH_LLVMLIBC_ARCHIVE)
  message(FATAL_ERROR
    "The correctly rounded float math comes from LLVM's libc archive "
    "/usr/lib/llvm-19/lib/libllvmlibc.a, which is missing. Install it with:\n"
    "  apt-get install -y libllvmlibc-19-dev\n"
    "or configure with -DQUAKE_PLATFORM_LIBM=ON to use the platform libm "
    "(results may then differ in the last bit).")
endif()

if(NOT CMAKE_LINKER OR NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "crmath needs ld and objcopy (binutils); found ld='${CMAKE_LINKER}' objcopy='${CMAKE_OBJCOPY}'")
endif()

set(CRMATH_DIR ${CMAKE_BINARY_DIR}/crmath)
set(CRMATH_OBJECT ${CRMATH_DIR}/crmath.o)
file(MAKE_DIRECTORY ${CRMATH_DIR})

set(crmath_require "")
set(crmath_keep "")
foreach(fn ${CRMATH_FUNCTIONS})
  # --require-defined pulls the function like -u and fails the link if the
  # archive does not define it, so a renamed symbol cannot go unnoticed.
  list(APPEND crmath_require --require-defined=${fn})
  list(APPEND crmath_keep --keep-global-symbol=${fn})
endforeach()

add_custom_command(
  OUTPUT ${CRMATH_OBJECT}
  COMMAND ${CMAKE_LINKER} -r ${crmath_require} -o ${CRMATH_DIR}/crmath_pulled.o ${CRMATH_LLVMLIBC_ARCHIVE}
  COMMAND ${CMAKE_OBJCOPY} ${crmath_keep} ${CRMATH_DIR}/crmath_pulled.o ${CRMATH_OBJECT}
  DEPENDS ${CRMATH_LLVMLIBC_ARCHIVE} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Taking sinf, cosf, sincosf, acosf, powf out of LLVM's libc"
  VERBATIM)
add_custom_target(crmath_object DEPENDS ${CRMATH_OBJECT})

add_dependencies(crmath crmath_object)
# The object before libm, so libm only supplies what the object does not define.
target_link_libraries(crmath INTERFACE ${CRMATH_OBJECT} m)

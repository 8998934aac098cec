# SPDX-License-Identifier: MIT
# The hardening Debian, Ubuntu and Fedora give their packages: a stack
# protector and stack-clash probes, fortified libc calls, control-flow
# protection on x86-64, a position-independent program, read-only
# relocations bound at start-up and a stack that is not executable.  Only
# the flags this compiler and linker accept are added, so that every
# compiler keeps building with warnings as errors.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)

foreach(flag -fstack-protector-strong -fstack-clash-protection)
  string(MAKE_C_IDENTIFIER "QUORVIN_HAS${flag}" var)
  check_cxx_compiler_flag(${flag} ${var})
  if(${var})
    add_compile_options(${flag})
  endif()
endforeach()
if(QUORVIN_X86_64)
  check_cxx_compiler_flag(-fcf-protection QUORVIN_HAS_CF_PROTECTION)
  if(QUORVIN_HAS_CF_PROTECTION)
    add_compile_options(-fcf-protection)
  endif()
endif()

# Fortified calls need optimisation, and the sanitizers check those calls
# themselves.  Level 3 where the compiler and the C library support it
# (glibc warns, and the test fails, where they would treat it as 2).  Any
# level the compiler sets by itself is replaced.
if(NOT QUORVIN_SANITIZE)
  string(CONCAT fortify_test "#include <cstring>\\n"
         "int main(int c, char **v) { char b[4]; strcpy(b, v[c]); return b[0]; }")
  foreach(level 3 2)
    set(CMAKE_REQUIRED_FLAGS "-O2 -Werror -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=${level}")
    check_cxx_source_compiles("${fortify_test}" QUORVIN_FORTIFY_${level})
    unset(CMAKE_REQUIRED_FLAGS)
    if(QUORVIN_FORTIFY_${level})
      add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=${level}>")
      break()
    endif()
  endforeach()
endif()

# Every object, the library's too, ends up in the program only.  A static
# program is a static PIE where the C library has the start files for one.
check_cxx_compiler_flag(-fPIE QUORVIN_HAS_FPIE)
if(QUORVIN_STATIC)
  check_linker_flag(CXX -static-pie QUORVIN_HAS_STATIC_PIE)
  if(QUORVIN_HAS_FPIE AND QUORVIN_HAS_STATIC_PIE)
    add_compile_options(-fPIE)
    set(QUORVIN_STATIC_LINK -static-pie)
  endif()
else()
  check_linker_flag(CXX -pie QUORVIN_HAS_PIE)
  if(QUORVIN_HAS_FPIE AND QUORVIN_HAS_PIE)
    add_compile_options(-fPIE)
    add_link_options(-pie)
  endif()
endif()
foreach(flag relro now noexecstack)
  check_linker_flag(CXX LINKER:-z,${flag} QUORVIN_HAS_Z_${flag})
  if(QUORVIN_HAS_Z_${flag})
    add_link_options(LINKER:-z,${flag})
  endif()
endforeach()

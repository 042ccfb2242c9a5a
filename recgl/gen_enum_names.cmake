# Generates the value -> name table of GL enums from the GL headers.
# Usage: cmake -DGL_H=<gl.h> -DGLEXT_H=<glext.h> -DOUT=<file> -P gen_enum_names.cmake
#
# One name per value, chosen by rank (lower wins, the first seen wins a tie):
#   0  names of GL 1.1 and 1.2, the versions the program is written for (gl.h before its
#      "OpenGL 1.3" section): GL_MODELVIEW, GL_TEXTURE_2D, GL_TEXTURE_3D
#   1  _NV   2  _ARB   3  _EXT   (GL_TEXTURE0_ARB, GL_VERTEX_PROGRAM_NV)
#   4  unsuffixed names of later GL versions
#   5  other vendor suffixes
# Names of extensions the program uses, where the rule would pick another extension's alias,
# are listed in PREFERRED and win over all others.
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
set(PREFERRED
  GL_DISTANCE_ATTENUATION_EXT GL_POINT_SIZE_MIN_EXT GL_POINT_SIZE_MAX_EXT
  GL_POINT_FADE_THRESHOLD_SIZE_EXT)
set(values "")
foreach(header "${GL_H}" "${GLEXT_H}")
  file(STRINGS "${header}" lines REGEX "^#define GL_[A-Za-z0-9_]+[ \t]+(0x[0-9A-Fa-f]+|[0-9]+)[ \t]*$|^ \\* OpenGL 1\\.3$")
  set(in_core11 OFF)
  if(header STREQUAL "${GL_H}")
    set(in_core11 ON)
  endif()
  foreach(line IN LISTS lines)
    if(line MATCHES "OpenGL 1\\.3")
      set(in_core11 OFF)
      continue()
    endif()
    if(NOT line MATCHES "^#define (GL_[A-Za-z0-9_]+)[ \t]+(0x[0-9A-Fa-f]+|[0-9]+)")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    set(value "${CMAKE_MATCH_2}")
    # Version and extension markers (GL_VERSION_1_2, GL_ARB_multitexture) are not enums.
    if(name MATCHES "^GL_VERSION_" OR name MATCHES "[a-z]")
      continue()
    endif()
    # One key per value however it is written (0x0007, 0x07, 7).
    math(EXPR value "${value}" OUTPUT_FORMAT DECIMAL)
    if(name IN_LIST PREFERRED)
      set(rank -1)
    elseif(in_core11)
      set(rank 0)
    elseif(name MATCHES "_NV$")
      set(rank 1)
    elseif(name MATCHES "_ARB$")
      set(rank 2)
    elseif(name MATCHES "_EXT$")
      set(rank 3)
    elseif(name MATCHES "_(ATI|SGIS|SGIX|SGI|MESA|AMD|APPLE|IBM|INTEL|KHR|OES|OML|SUN|HP|3DFX|INGR|PGI|REND|S3|WIN|GREMEDY|MESAX|NVX|OVR|QCOM|IMG|ANGLE|EXTX|SUNX|I3D)$")
      set(rank 5)
    else()
      set(rank 4)
    endif()
    if(NOT DEFINED "rank_${value}")
      list(APPEND values "${value}")
    elseif(NOT rank LESS "${rank_${value}}")
      continue()
    endif()
    set("rank_${value}" ${rank})
    set("name_${value}" "${name}")
  endforeach()
endforeach()

set(out "// Generated from the GL headers by recgl/gen_enum_names.cmake. Do not edit.\n")
foreach(value IN LISTS values)
  string(APPEND out "{${value}u, \"${name_${value}}\"},\n")
endforeach()
file(WRITE "${OUT}.tmp" "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")

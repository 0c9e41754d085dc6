# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs the demo's screenshot tour and checks that it ends well and leaves a PNG behind.
#   cmake -DDEMO=<kaldorium-lpt-demo> -DSHOT=<file.png> -P demo_screenshot_tour.cmake
if(NOT DEMO OR NOT SHOT)
    message(FATAL_ERROR "usage: cmake -DDEMO=<demo> -DSHOT=<file.png> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

file(REMOVE "${SHOT}") # a shot of an earlier run must not pass for this one
execute_process(COMMAND "${DEMO}" --screenshot "${SHOT}"
    RESULT_VARIABLE exit_code
    TIMEOUT 90)
if(NOT exit_code STREQUAL "0")
    message(FATAL_ERROR "kaldorium-lpt-demo --screenshot ended with: ${exit_code}")
endif()
if(NOT EXISTS "${SHOT}")
    message(FATAL_ERROR "no screenshot at ${SHOT}")
endif()
file(SIZE "${SHOT}" size)
file(READ "${SHOT}" signature LIMIT 8 HEX)
if(size EQUAL 0 OR NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${SHOT} is not a PNG image (${size} bytes)")
endif()
message(STATUS "screenshot: ${SHOT}, ${size} bytes")

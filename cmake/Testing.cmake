# doctest executables registered with ctest. In the Windows build every test runs under Wine
# in a prefix of this build tree (never ~/.wine), under Xvfb when no display is set, serially.
if(QM_WINDOWS AND CMAKE_CROSSCOMPILING)
  set(QM_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh;${QM_WINE_PREFIX}")
endif()

add_library(qm_doctest_main OBJECT "${CMAKE_SOURCE_DIR}/tests/doctest_main.cpp")
target_link_libraries(qm_doctest_main PUBLIC doctest)
qm_target_defaults(qm_doctest_main)

# qm_add_test(NAME SOURCES src... [LIBS lib...])
function(qm_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE qm_doctest_main doctest ${T_LIBS})
  qm_target_defaults(${name})
  add_test(NAME ${name} COMMAND ${name})
  # Each well above its usual time (seconds) and far below what a hang would cost the run.
  set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE TIMEOUT 180)
endfunction()

# Project-wide build settings and the helpers that define libraries and tests.

add_compile_options(-Wall -Wextra -Werror)

if(TRAMELO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# tramelo_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [GUI] [LABELS <labels...>] [TIMEOUT <s>]
#                  [LAUNCHER <command...>])
# One GoogleTest executable registered with CTest. Every test runs with the
# offscreen Qt platform and a private configuration folder, so no test can
# touch the user's real settings or need a display. A launcher, when given,
# runs the test as its last argument (to give it a private D-Bus session, say).
function(tramelo_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;LAUNCHER" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${T_NAME} PRIVATE tramelo_test_main_gui)
  else()
    target_link_libraries(${T_NAME} PRIVATE tramelo_test_main)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${T_NAME}>)
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home/config;HOME=${CMAKE_BINARY_DIR}/test-home;TRAMELO_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

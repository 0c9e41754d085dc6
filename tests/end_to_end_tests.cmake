# End-to-end roads: the real window driving the simulated KALDORIUM-LPT through its
# pseudo-terminal, and the demo's screenshot tour as a smoke test of the whole program.
kaldorium_add_test(tst_end_to_end SOURCES tst_end_to_end.cpp)

add_test(NAME demo_screenshot_tour
    COMMAND ${CMAKE_COMMAND}
        -DDEMO=$<TARGET_FILE:kaldorium-lpt-demo>
        -DSHOT=${CMAKE_CURRENT_BINARY_DIR}/demo_screenshot_tour/shot.png
        -P ${CMAKE_CURRENT_SOURCE_DIR}/demo_screenshot_tour.cmake)
set_tests_properties(demo_screenshot_tour PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=*.debug=false"
    TIMEOUT 120)

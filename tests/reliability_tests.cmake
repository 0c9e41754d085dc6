# Reliability: a device that goes away or stops reading, hostile input from the line and in
# firmware paths. The suites drive the real window against the simulated KALDORIUM-LPT.
add_library(kaldorium_reliability_support STATIC
    reliability_support.cpp
    reliability_support.h
)
target_link_libraries(kaldorium_reliability_support PUBLIC kaldorium_test_support)
kaldorium_warnings(kaldorium_reliability_support)

kaldorium_add_test(tst_device_loss SOURCES tst_device_loss.cpp
    LIBS kaldorium_core kaldorium_reliability_support)
kaldorium_add_test(tst_stalled_device SOURCES tst_stalled_device.cpp
    LIBS kaldorium_core kaldorium_reliability_support)
# The hostile-input suite checks the receive path against the fuzzer's plain model.
kaldorium_add_test(tst_hostile_input SOURCES tst_hostile_input.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/receive_model.cpp ${PROJECT_SOURCE_DIR}/fuzz/receive_model.h
    LIBS kaldorium_core kaldorium_reliability_support)

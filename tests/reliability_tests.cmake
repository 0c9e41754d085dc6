# Reliability: a device that goes away or stops reading, hostile input from the line and in
# firmware paths. The suites drive the real window against the simulated KALDORIUM-LPT.
kaldorium_add_test(tst_device_loss SOURCES tst_device_loss.cpp)
kaldorium_add_test(tst_stalled_device SOURCES tst_stalled_device.cpp)
# The hostile-input suite checks the receive path against the fuzzer's plain model.
kaldorium_add_test(tst_hostile_input SOURCES tst_hostile_input.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/receive_model.cpp ${PROJECT_SOURCE_DIR}/fuzz/receive_model.h)

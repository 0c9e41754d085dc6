# The operator's device functions driven through the real window, with a pseudo-terminal
# standing where the device's serial node would be.
kaldorium_add_test(tst_live_pin_test SOURCES tst_live_pin_test.cpp)
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tst_address_and_defaults.cpp)
    kaldorium_add_test(tst_address_and_defaults SOURCES tst_address_and_defaults.cpp)
endif()
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tst_firmware_upgrade.cpp)
    kaldorium_add_test(tst_firmware_upgrade SOURCES tst_firmware_upgrade.cpp)
endif()

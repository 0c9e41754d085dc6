# The application shell and the device link, driven through the real window: control
# states, construction and console, port discovery and connection, and the receive path
# through a real serial port on a pseudo-terminal.
kaldorium_add_test(tst_control_states SOURCES tst_control_states.cpp)
kaldorium_add_test(tst_mainwindow SOURCES tst_mainwindow.cpp)
kaldorium_add_test(tst_port_connection SOURCES tst_port_connection.cpp)
kaldorium_add_test(tst_read_data SOURCES tst_read_data.cpp)

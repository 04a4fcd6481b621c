# The installer, tessel-ftp-<version>-setup.exe beside the program: 64-bit,
# Unicode, built by NSIS from the program and its icon. Included from the
# window's folder, where the icon is made.
find_program(TESSEL_MAKENSIS NAMES makensis REQUIRED)
set(TESSEL_SETUP ${CMAKE_BINARY_DIR}/tessel-ftp-${PROJECT_VERSION}-setup.exe)
add_custom_command(
    OUTPUT ${TESSEL_SETUP}
    COMMAND ${TESSEL_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DPROGRAM=$<TARGET_FILE:tessel-ftp>
            -DICON=${CMAKE_BINARY_DIR}/images/icon.ico -DOUTFILE=${TESSEL_SETUP}
            ${CMAKE_CURRENT_LIST_DIR}/tessel-ftp.nsi
    DEPENDS tessel-ftp ${CMAKE_BINARY_DIR}/images/icon.ico ${CMAKE_CURRENT_LIST_DIR}/tessel-ftp.nsi
    VERBATIM)
add_custom_target(installer ALL DEPENDS ${TESSEL_SETUP})

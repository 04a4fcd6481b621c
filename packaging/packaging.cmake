# Everything a desktop installs besides the program: its menu entry and icons,
# the AppStream description, the manual pages and the Debian documents, and the
# Debian package made of all of it (cmake --build build --target package).

set(TESSEL_RELEASE_DATE 2026-12-08)
set(TESSEL_APPSTREAM_ID com.example.tessel_ftp)
# No comma in the name: Debian fields separate contacts with commas.
set(TESSEL_MAINTAINER "Quorvane Inc. <support@example.com>")
set(TESSEL_HOMEPAGE "https://www.example.com/" CACHE STRING "The program's web site")
set(TESSEL_SCREENSHOT_URL "https://www.example.com/tessel-ftp/docs/screenshots" CACHE STRING
    "Where the README's pictures (docs/screenshots) are published, for software centres")

set(packaging_source ${CMAKE_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tessel-ftp)

# Each menu and tray size is drawn from the icon's drawing rather than scaled
# from the 64 px picture, so the large ones stay sharp.
foreach(size 16 32 48 64 128 256)
    set(icon ${packaging_out}/icons/${size}x${size}/tessel-ftp.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/icons/${size}x${size}
        COMMAND ${CMAKE_SOURCE_DIR}/tools/draw-icon.sh ${size} ${icon}
        DEPENDS ${CMAKE_SOURCE_DIR}/tools/draw-icon.sh
        VERBATIM)
    list(APPEND packaging_files ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# tessel_gzip(SOURCE NAME): NAME.gz in the build folder, compressed the way
# Debian wants its documents (best, without a name or time stamp inside).
function(tessel_gzip source name)
    set(copy ${packaging_out}/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source}
        VERBATIM)
    set(packaging_files ${packaging_files} ${copy}.gz PARENT_SCOPE)
endfunction()

configure_file(${packaging_source}/tessel-ftp.1.in ${packaging_out}/manual/tessel-ftp.1 @ONLY)
tessel_gzip(${packaging_out}/manual/tessel-ftp.1 tessel-ftp.1)
# The same page in Traditional Chinese, which man shows where the desktop's
# language is zh_TW.
configure_file(${packaging_source}/tessel-ftp.zh_TW.1.in ${packaging_out}/manual/tessel-ftp.zh_TW.1 @ONLY)
tessel_gzip(${packaging_out}/manual/tessel-ftp.zh_TW.1 tessel-ftp.zh_TW.1)
tessel_gzip(${packaging_source}/debian/changelog changelog)
configure_file(${packaging_source}/tessel-ftp.metainfo.xml.in
    ${packaging_out}/${TESSEL_APPSTREAM_ID}.metainfo.xml @ONLY)
add_custom_target(desktop_files ALL DEPENDS ${packaging_files})

install(TARGETS tessel-ftp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Resolving every symbol at start lets the relocations be read-only for the
# whole run, as in Debian's own builds.
target_link_options(tessel-ftp PRIVATE -Wl,-z,relro,-z,now)
install(FILES res/desktop/tessel-ftp.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_out}/${TESSEL_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_out}/tessel-ftp.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_out}/tessel-ftp.zh_TW.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_TW/man1
    RENAME tessel-ftp.1.gz)
install(FILES ${packaging_source}/debian/copyright ${packaging_out}/changelog.gz DESTINATION ${doc_dir})

# tessel_package_owning(VARIABLE PATH...): the Debian package that installed
# the first of the paths dpkg knows, or empty.
function(tessel_package_owning variable)
    set(${variable} "" PARENT_SCOPE)
    foreach(path ${ARGN})
        execute_process(COMMAND dpkg-query -S ${path}
            OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_QUIET)
        if(status EQUAL 0)
            string(REGEX REPLACE "[:,].*" "" owner "${owner}")
            set(${variable} ${owner} PARENT_SCOPE)
            return()
        endif()
    endforeach()
endfunction()

# What the program loads by hand, which dpkg-shlibdeps never sees, unless it
# comes in a package that shlibdeps names anyway.
set(multiarch ${CMAKE_LIBRARY_ARCHITECTURE})
set(tessel_depends "")
# The CP950 converter, glibc's BIG5 gconv module, which iconv loads.
tessel_package_owning(gconv_package /usr/lib/${multiarch}/gconv/BIG5.so /lib/${multiarch}/gconv/BIG5.so)
tessel_package_owning(libc_package /lib/${multiarch}/libc.so.6 /usr/lib/${multiarch}/libc.so.6)
if(gconv_package AND NOT gconv_package STREQUAL libc_package)
    list(APPEND tessel_depends ${gconv_package})
endif()
# The X11 platform plugin, which draws the window and hosts the tray icon
# (embedded in the notification area, or over D-Bus where the desktop's tray
# asks for that; both are in the plugin and the libraries it links). Debian
# ships it with the Gui library; should it move to a package of its own, the
# package depends on that.
get_target_property(gui_library Qt6::Gui LOCATION)
tessel_package_owning(xcb_package ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/libqxcb.so)
tessel_package_owning(gui_package ${gui_library})
if(xcb_package AND NOT xcb_package STREQUAL gui_package)
    list(APPEND tessel_depends ${xcb_package})
endif()
# Every text of the window is Chinese: on a desktop installed in another
# language, or a minimal one, there may be no font with those characters at
# all, and each would show as an empty box. The dialogs ask for a Ming face,
# whose stand-in is AR PL UMing; Noto's CJK fonts cover Big5 as well.
list(APPEND tessel_depends "fonts-arphic-uming | fonts-noto-cjk")
list(JOIN tessel_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel-ftp)
set(CPACK_PACKAGE_VENDOR "Quorvane, Inc.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TESSEL_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TESSEL_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "share one folder with any FTP client from a desktop window")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A small FTP server for one desktop. You pick one folder and what visitors
may do in it (download, upload, delete, rename, create folders); any FTP
client on the network can then log in as anonymous, with any password, and
work inside that folder over port 21, in active or passive mode.

The program is a single window with a log of every connection, command and
reply. Its texts are Traditional Chinese and file names travel in Big5.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap grants the port-21 capability on install; without it the program
# still installs and says how to grant it later. Qt's own catalogues put the
# folder chooser and the message boxes' buttons in Chinese; without them
# those stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_source}/debian/postinst ${packaging_source}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

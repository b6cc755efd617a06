# The Windows programs' deployment: everything they need gathered beside them in the build folder
# (so they run from there, under Wine too), installed flat into one folder, and packed by CPack as
# a portable .zip and an NSIS installer (cpack -G "ZIP;NSIS"; makensis from Debian's nsis).

find_program(PORTPROBE_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
# The Windows platform plugin; the icon reader (sys/icon.ico); the native style.
set(PORTPROBE_QT_PLUGINS platforms/qwindows.dll imageformats/qico.dll styles/qwindowsvistastyle.dll)

add_custom_target(portprobe_deploy ALL
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${PORTPROBE_OBJDUMP} -DRUNTIME_DIR=${PORTPROBE_RUNTIME_DIR}
          "-DPROGRAMS=portprobe.exe;portprobe-demo.exe;portprobe-io.exe" -DQT_PLUGINS=${PORTPROBE_QT_PREFIX}/plugins
          "-DPLUGINS=${PORTPROBE_QT_PLUGINS}" "-DSEARCH_DIRS=${PORTPROBE_DLL_SEARCH_DIRS}"
          -P ${CMAKE_SOURCE_DIR}/cmake/DeployWindows.cmake
  DEPENDS portprobe portprobe-demo portprobe-io ${CMAKE_SOURCE_DIR}/cmake/DeployWindows.cmake
  COMMENT "Gathering the DLLs and Qt plugins beside the programs"
  VERBATIM)

install(DIRECTORY ${PORTPROBE_RUNTIME_DIR}/ DESTINATION ${PORTPROBE_INSTALL_DIR} COMPONENT portprobe
        FILES_MATCHING PATTERN "*.dll")
# setting.ini is not among the installed files: the user's copy must outlive upgrades and the
# uninstaller, which deletes what was installed. The installer puts the first one in place, where
# none exists; the .zip has none (the programs start with the same IDs without it).

# Only the programs' component; the class library's headers and archives are not for users.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};PORTPROBE;portprobe;/")
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME "${PORTPROBE_APP_TITLE}")
set(CPACK_PACKAGE_VENDOR "${PORTPROBE_APP_TITLE} developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test console for a USB HID digital I/O board")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "portprobe-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${PORTPROBE_APP_TITLE}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${PORTPROBE_APP_TITLE}")
# Start menu entries: program file name, then the entry's text.
set(CPACK_PACKAGE_EXECUTABLES "portprobe;${PORTPROBE_APP_TITLE}" "portprobe-demo;${PORTPROBE_APP_TITLE} demo")
# A 64-bit installer (Debian's nsis has the amd64 stubs): 64-bit Program Files and registry view.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "${PORTPROBE_APP_TITLE}")
set(CPACK_NSIS_PACKAGE_NAME "${PORTPROBE_APP_TITLE}")
set(CPACK_NSIS_MUI_ICON "${PORTPROBE_RUNTIME_DIR}/sys/icon.ico")
set(CPACK_NSIS_MUI_UNIICON "${PORTPROBE_RUNTIME_DIR}/sys/icon.ico")
set(CPACK_NSIS_INSTALLED_ICON_NAME "portprobe.exe")
set(CPACK_NSIS_URL_INFO_ABOUT "${PORTPROBE_WEBSITE}")
# PreinstallWindows.nsh: a PORTPROBE folder under the one chosen, the installed copy's uninstaller
# run with setting.ini held open (instead of CPack's uninstall before install), the first setting.ini.
set(CPACK_NSIS_UNINSTALL_NAME "Uninstall")
string(LENGTH "\\${CPACK_PACKAGE_INSTALL_DIRECTORY}" portprobe_folder_length)
configure_file(${CMAKE_CURRENT_LIST_DIR}/PreinstallWindows.nsh.in ${CMAKE_BINARY_DIR}/PreinstallWindows.nsh @ONLY)
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!include \"${CMAKE_BINARY_DIR}/PreinstallWindows.nsh\"")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
# The values above go to cpack as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
include(CPack)

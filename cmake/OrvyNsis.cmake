# The Windows installer, made by CPack with NSIS (`cpack -G NSIS` after the install rules
# have a complete folder in bin\): installs for every user of the PC into Program Files,
# with a Start-menu entry carrying the program's icon, an uninstaller in Windows' list of
# installed programs, and an update that removes the version before it.
#
# Included with ORVY_NSIS_EXECUTABLE (the program's name without .exe) and ORVY_NSIS_ICON
# (its .ico file) set, before include(CPack).
set(CPACK_GENERATOR NSIS)
# Values reach the NSIS script as written here (its commands below hold quotes).
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Orvy Class")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Orvy Class")
set(CPACK_NSIS_PACKAGE_NAME "Orvy Class")
set(CPACK_NSIS_DISPLAY_NAME "Orvy Class")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The Start-menu entry: the program, whose icon is in its resources.
set(CPACK_PACKAGE_EXECUTABLES "${ORVY_NSIS_EXECUTABLE};Orvy Class")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\${ORVY_NSIS_EXECUTABLE}.exe")
set(CPACK_NSIS_MUI_ICON "${ORVY_NSIS_ICON}")
set(CPACK_NSIS_MUI_UNIICON "${ORVY_NSIS_ICON}")
# An update: the installer runs the old version's uninstaller first, so no file of the
# old version stays behind (silently, with /S, too).
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# For every user of the PC: the installer asks Windows for an administrator
# (RequestExecutionLevel admin), and ends if it did not get one, rather than install for
# one user into that user's documents. The check is the first thing .onInit does, before
# it runs the earlier version's uninstaller: CPack's script has no hook there, so its
# template is copied with the check put in, and CPack finds the copy on CMAKE_MODULE_PATH.
set(orvy_nsis_admin_check [[
  UserInfo::GetAccountType
  Pop $0
  StrCmp $0 "Admin" orvy_admin
    MessageBox MB_OK|MB_ICONSTOP "Orvy Class is installed for all users of this PC. Run the installer as an administrator." /SD IDOK
    Quit
  orvy_admin:
]])
file(READ ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in orvy_nsis_template)
string(FIND "${orvy_nsis_template}" "Function .onInit\n" orvy_at)
if(orvy_at LESS 0)
    message(FATAL_ERROR "CPack's NSIS template has no .onInit function to put the administrator check in")
endif()
string(REPLACE "Function .onInit\n" "Function .onInit\n${orvy_nsis_admin_check}" orvy_nsis_template
    "${orvy_nsis_template}")
# A 64-bit installer for the 64-bit program: it runs where the program can (a Windows
# without 32-bit support too) and sees the 64-bit registry and Program Files itself.
string(REPLACE "  !define VERSION " "  Target amd64-unicode\n  !define VERSION " orvy_nsis_template
    "${orvy_nsis_template}")
file(WRITE ${CMAKE_BINARY_DIR}/nsis-template/NSIS.template.in "${orvy_nsis_template}")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_BINARY_DIR}/nsis-template)
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "
  SetShellVarContext all")

# The Windows installer, KAVRO-<version>-win64.exe, by CPack's NSIS generator
# (makensis from Debian's nsis when cross-built): the desktop application and
# kavro-cli.exe, a Start-menu shortcut, an uninstaller with its entry in Apps
# & features, the .fw file type opening in KAVRO, the choice of putting the
# programs' folder on PATH (for line scripts) and "Run KAVRO" on the last
# page. Included on WIN32 by
# packaging.cmake after the common settings and before include(CPack); the
# programs install into bin/ by their own rules.

if(NOT CPACK_PACKAGE_NAME)
  set(CPACK_PACKAGE_NAME "KAVRO")
endif()
if(NOT CPACK_PACKAGE_VENDOR)
  set(CPACK_PACKAGE_VENDOR "KAVRO")
endif()
set(CPACK_GENERATOR "NSIS")
# The NSIS commands below hold backslashes and $ of their own.
set(CPACK_VERBATIM_VARIABLES TRUE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_FILE_NAME "KAVRO-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KAVRO")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KAVRO")
set(CPACK_PACKAGE_EXECUTABLES "kavro" "KAVRO")

set(CPACK_NSIS_PACKAGE_NAME "KAVRO")
set(CPACK_NSIS_DISPLAY_NAME "KAVRO ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer: the programs are 64-bit, and Wine without its 32-bit
# half runs it too.
# FileFunc: ${GetOptions} for the installer's own switches.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\n!include \"FileFunc.nsh\"")
# zlib packs in seconds what LZMA takes minutes over on a busy machine, for a
# somewhat larger installer.
set(CPACK_NSIS_COMPRESSOR "/SOLID zlib")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/res/icons/kavro.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/res/icons/kavro.ico")
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\kavro.exe")
# An upgrade installs over the copy in place, as the old uninstaller would
# take the user's settings file with it.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
# No licence page until the project states a licence (CPack's stand-in text
# would ask the user to agree to nothing).
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# The options page offers bin\ (kavro.exe, kavro-cli.exe) on PATH for all
# users or this one; the uninstaller takes it off again.
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN "kavro.exe")

# A silent install (line PCs) chooses PATH with /PATH=all or /PATH=user: the
# options page's fields, read after these commands, are set from it.
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS [=[
  ${GetOptions} $CMDLINE "/PATH=" $0
  StrCmp $0 "all" 0 +4
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 2" "State" "0"
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 3" "State" "1"
    Goto kavro_path_done
  StrCmp $0 "user" 0 kavro_path_done
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 2" "State" "0"
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 4" "State" "1"
  kavro_path_done:
]=])

# .fw files open in KAVRO. The program remembers its port only in a settings
# file that exists beside it, and Program Files is not the users' to write:
# an empty one (32 zero bytes) is made that the Users group may change, only
# where none is: an upgrade keeps the port the user chose.
# SHCTX is the machine's classes for an all-users install, the user's
# otherwise; Explorer is told that associations changed.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  WriteRegStr SHCTX "Software\Classes\.fw" "" "KAVRO.Document"
  WriteRegStr SHCTX "Software\Classes\KAVRO.Document" "" "KAVRO firmware image"
  WriteRegStr SHCTX "Software\Classes\KAVRO.Document\DefaultIcon" "" "$INSTDIR\bin\kavro.exe,0"
  WriteRegStr SHCTX "Software\Classes\KAVRO.Document\shell\open\command" "" '"$INSTDIR\bin\kavro.exe" "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  IfFileExists "$INSTDIR\bin\kavro.exe.cfg" kavro_cfg_done
    FileOpen $0 "$INSTDIR\bin\kavro.exe.cfg" w
    StrCpy $1 0
  kavro_cfg_byte:
    FileWriteByte $0 0
    IntOp $1 $1 + 1
    IntCmp $1 32 0 kavro_cfg_byte
    FileClose $0
    nsExec::Exec 'icacls "$INSTDIR\bin\kavro.exe.cfg" /grant *S-1-5-32-545:M'
    Pop $0
  kavro_cfg_done:
]=])
# The extension is given back only while it still names our type.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  ReadRegStr $0 SHCTX "Software\Classes\.fw" ""
  StrCmp $0 "KAVRO.Document" 0 +2
    DeleteRegKey SHCTX "Software\Classes\.fw"
  DeleteRegKey SHCTX "Software\Classes\KAVRO.Document"
  Delete "$INSTDIR\bin\kavro.exe.cfg"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])

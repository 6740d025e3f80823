# Makes the installer veltrano-<version>-win64.msi with wixl. Run by cpack's
# External generator once the programs are staged (and stripped) as for the
# ZIP, with the variables of packaging/windows/CMakeLists.txt.
if(NOT CPACK_VELTRANO_WIXL)
  message(FATAL_ERROR "wixl is needed for the MSI (Debian package wixl: scripts/install-deps.sh)")
endif()
# wixl looks for every source file below its working directory and takes no
# absolute path: it runs in CPack's scratch folder, which holds the staged
# folder, and the icon is copied there.
set(work "${CPACK_TOPLEVEL_DIRECTORY}")
file(RELATIVE_PATH staged "${work}" "${CPACK_TEMPORARY_DIRECTORY}")
file(COPY_FILE "${CPACK_VELTRANO_ICON}" "${work}/veltrano.ico")
set(msi "${work}/${CPACK_PACKAGE_FILE_NAME}.msi")
execute_process(
  COMMAND "${CPACK_VELTRANO_WIXL}" -a x64 -o "${msi}"
          -D "SourceDir=${staged}"
          -D "Version=${CPACK_PACKAGE_VERSION}"
          -D "Publisher=${CPACK_VELTRANO_PUBLISHER}"
          -D "Contact=${CPACK_VELTRANO_CONTACT}"
          -D "IconFile=veltrano.ico"
          "${CPACK_VELTRANO_WXS}"
  WORKING_DIRECTORY "${work}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl failed (${status}) on ${CPACK_VELTRANO_WXS}")
endif()
# The workbench's shortcut gets its Chinese name here: wixl (0.101) drops a
# text beyond ASCII, or crashes on one that begins in ASCII. The database's
# code page becomes UTF-8 first, in which msibuild stores the text as given;
# Windows Installer reads it so into the shortcut's file name.
if(NOT CPACK_VELTRANO_MSIBUILD)
  message(FATAL_ERROR "msibuild is needed for the MSI (Debian package msitools: scripts/install-deps.sh)")
endif()
file(WRITE "${work}/_ForceCodepage.idt" "\r\n\r\n65001\t_ForceCodepage\r\n")
execute_process(
  COMMAND "${CPACK_VELTRANO_MSIBUILD}" "${msi}" -i "${work}/_ForceCodepage.idt"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND "${CPACK_VELTRANO_MSIBUILD}" "${msi}"
          -q "UPDATE `Shortcut` SET `Name` = 'Veltrano 设计' WHERE `Shortcut` = 'StartMenuWorkbench'"
  COMMAND_ERROR_IS_FATAL ANY)
# cpack copies the installer beside the ZIP.
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")

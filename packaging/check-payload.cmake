# Run by cpack on the staged tree before it packs it: a package without the firmware-flash
# payload would make keys that start nothing, so it is refused.
set(flash ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/lib/bootwright/flash)
foreach(file vmlinuz initrd.img)
  if(NOT EXISTS ${flash}/${file})
    message(FATAL_ERROR "the package's flash/ has no ${file}: build the target bw_flash_payload "
      "first (scripts/make-package does)")
  endif()
endforeach()

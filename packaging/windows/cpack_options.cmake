# Read by cpack before each of its generators stages the programs. strip
# writes the time it runs into a program's PE header, so the ZIP and the MSI,
# staged one after the other, would carry programs that differ in that stamp.
# Both get the same time instead: the caller's SOURCE_DATE_EPOCH, or when the
# build was configured. (The ZIP dates its entries by it too.)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_VELTRANO_STAMP}")
endif()

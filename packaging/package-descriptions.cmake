# Read by cpack: the descriptions of the two packages, each ending with the
# identity of the firmware the build carries, as `ziron7-cli --version`
# states it (every line after the program's own). ZIRON7_CLI is the built
# program.
execute_process(COMMAND "${ZIRON7_CLI}" --version
  OUTPUT_VARIABLE ziron7_version_text RESULT_VARIABLE ziron7_version_status)
if(NOT ziron7_version_status EQUAL 0)
  message(FATAL_ERROR "${ZIRON7_CLI} --version failed: ${ziron7_version_status}")
endif()
string(FIND "${ziron7_version_text}" "\n" ziron7_first_line_end)
math(EXPR ziron7_firmware_start "${ziron7_first_line_end} + 1")
string(SUBSTRING "${ziron7_version_text}" ${ziron7_firmware_start} -1 ziron7_firmware)
# Lines that start with a blank are kept as they are, not wrapped.
string(REGEX REPLACE "([^\n]+)\n" " \\1\n" ziron7_firmware "${ziron7_firmware}")

set(CPACK_DEBIAN_FLASHER_DESCRIPTION "firmware updater for the Зирон-7 DC power source
Writes the firmware it carries into a Зирон-7 laboratory DC power source
over a serial port: finds the instrument across six baud rates, compares the
firmware builds, writes and verifies the flash page by page.
Includes ziron7-cli, the same update for scripts at service centres and
production lines (exit codes, JSON). The simulated instrument ziron7-sim is
in the package ziron7-sim.

The firmware it carries:
${ziron7_firmware}")

set(CPACK_DEBIAN_SIM_DESCRIPTION "simulated Зирон-7 DC power source for the firmware updater
Plays a Зирон-7 laboratory DC power source on a pseudo-terminal: its main
program and its bootloader, with faults to order (noise, lost and flipped
bytes, delays, stuck flash bits, a bootloader it will not leave, ...), for
trying ziron7-flasher and ziron7-cli without the instrument, in workshops
and in tests. A new flash starts from the firmware the updater carries:
${ziron7_firmware}")

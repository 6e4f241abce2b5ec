// Texts several end-to-end tests share: a complete system configuration
// and the usage text qxrun prints.
#ifndef TESTS_SUPPORT_TESTTEXTS_H
#define TESTS_SUPPORT_TESTTEXTS_H

#include <ctime>
#include <string>

namespace TestSupport {

// One chip with a VORN node carrying every architecture key, and a memory node.
inline char const* const k_systemConfiguration =
    "# test system\n"
    "system.chips[] = chip0\n"
    "system.chip-ids[] = 0\n"
    "system.interrupt-target = 0\n"
    "system.chip-id-size = 4\n"
    "system.node-id-size = 4\n"
    "chip-id = 0\n"
    "node-id = 0\n"
    "system.chip0.nodes[] = core0,mem0\n"
    "system.chip0.node-ids[] = 0,1\n"
    "system.chip0.core0.node-type = vorn\n"
    "system.chip0.core0.endianness = little\n"
    "system.chip0.core0.total-number-pes = 64\n"
    "system.chip0.core0.number-pio = 1\n"
    "system.chip0.core0.number-sio = 1\n"
    "system.chip0.core0.mono-stack-size = 4096\n"
    "system.chip0.core0.mono-heap-size = 8192\n"
    "system.chip0.core0.poly-stack-size = 256\n"
    "system.chip0.core0.mono-memory-size = 65536\n"
    "system.chip0.core0.mono-memory-start = 0\n"
    "system.chip0.core0.mono-registers-size = 128\n"
    "system.chip0.core0.poly-memory-size = 4096\n"
    "system.chip0.core0.poly-registers-size = 128\n"
    "system.chip0.core0.enable-stack-size = 32\n"
    "system.chip0.core0.number-semaphores = 8\n"
    "system.chip0.core0.number-threads = 4\n"
    "system.chip0.core0.mono-alignment = 2\n"
    "system.chip0.core0.poly-alignment = 2\n"
    "system.chip0.core0.mono-stack-alignment = 8\n"
    "system.chip0.core0.poly-stack-alignment = 8\n"
    "system.chip0.core0.instruction-set = tev\n"
    "system.chip0.core0.instruction-size = 8\n"
    "system.chip0.core0.register-natural-align = 1\n"
    "system.chip0.core0.memory-natural-align = 1\n"
    "system.chip0.core0.gsu-address = 0x4000\n"
    "system.chip0.core0.PIO-flush-left[] = 1,2\n"
    "system.chip0.core0.PIO-flush-right[] = 3,4\n"
    "system.chip0.core0.name = demo\n"
    "system.chip0.core0.memory-proximity[] = 0,1\n"
    "system.chip0.mem0.node-type = memory\n";

// What "qxrun --help" prints.
inline char const* const k_qxrunUsage =
    "\n"
    "Usage: qxrun [option]* [filename]* \n"
    " *filename is the full path to the qxx executable.\n"
    "\n"
    "Where one or more of the following options may be given:\n"
    "\n"
    "--help      (-h) Outputs this message\n"
    "--output    (-o)\n"
    "--verbose   (-v) Switch on verbose display\n"
    "--version   (-V) Display version string\n"
    "--fake           Backward compatibility with tolk output\n"
    "--qxx            Backward compatibility with tolk\n"
    "--chip      (-c) Which chip to run on (0 or 1), default: 0\n"
    "--instance  (-i) What instance of hardware (0,1,2,...), default: any available\n"
    "--host           Which host the simulator is running on, default: localhost\n"
    "--sim       (-s) Connect to the simulator\n"
    "--qxtrace        Set file name for trace output and enabled trace\n";

// The version banner of a tool of the kit: its tool line (after "Tool:")
// and its notice lines, around the fixed build and copyright lines.
inline std::string versionBanner(std::string const& tool, std::string const& notice) {
    std::time_t const now = std::time(nullptr);
    char year[8] = "";
    std::strftime(year, sizeof year, "%Y", std::localtime(&now));
    return "\nTool:          " + tool +
           "\n"
           "Distribution:  2.24\n"
           "Build Version: 1.198.3.1 beta at Wed Feb 28 17:47:09 GMT 2007 on linux_x86_64\n"
           "\n"
           "     Copyright (c) Orvalis Technologies 2002-" +
           std::string(year) +
           ".\n"
           "     All rights reserved.\n"
           "\n"
           "\n" +
           notice + "\n\n";
}

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_TESTTEXTS_H

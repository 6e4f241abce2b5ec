// The instruction trace file: a header line, then one line per executed
// instruction with its cycle, code address, text and what it changed:
//          12  00000060  add r1, r1, r2            r1=0x000013ba
#ifndef SIMULATOR_TRACEWRITER_H
#define SIMULATOR_TRACEWRITER_H

#include <cstdint>
#include <fstream>
#include <string>

namespace Simulator {

class PolyArray;

class TraceWriter {
public:
    static constexpr char const* k_header = "# tev trace: cycle, PC, instruction, what it wrote";

    // Creates or replaces the file and writes the header line.
    bool open(std::string const& path, std::string& error);
    // Writes the header and the lines to sink instead, which must outlive
    // the trace (until close). A sink may block a write to hold the
    // processor back while its reader catches up.
    void open(std::streambuf* sink);

    // Flushes and closes the file.
    void close();

    void instruction(uint64_t cycle, uint32_t pc, std::string const& text, std::string const& effects);

    // Texts of what an instruction wrote, joined by spaces in a line.
    static std::string monoWrite(std::string const& name, uint32_t value);
    static std::string memoryWrite(uint32_t address, uint32_t value, uint32_t width);
    // The register's value on each PE, "-" for disabled PEs: "p2={0,1,-,3}".
    static std::string polyWrite(unsigned reg, PolyArray const& poly);

private:
    std::ofstream m_file;
    std::ostream m_out{nullptr};
};

}  // namespace Simulator

#endif

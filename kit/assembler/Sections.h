// The three sections of a program while it is assembled: where each one
// starts, how large it has grown, and the statements placed in it.
#ifndef ASSEMBLER_SECTIONS_H
#define ASSEMBLER_SECTIONS_H

#include "assembler/Assembler.h"
#include "assembler/Diagnostics.h"
#include "assembler/Statement.h"
#include "assembler/SymbolTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Assembler {

struct SectionState {
    char const* name;
    uint32_t base = 0;
    bool baseKnown = true;  // false for bss until the data section's size is known
    uint64_t size = 0;
    uint64_t maxAlignment = 1;
    bool sizeReported = false;
    SourceLocation baseLocation;
    std::vector<uint8_t> bytes;
};

// A statement that occupies room in a section, where the first pass put it.
struct Placed {
    Statement const* statement;
    SectionId section;
    uint64_t offset;
};

class Sections {
public:
    Sections(AssemblerOptions const& options, Diagnostics& diagnostics);

    SectionState& operator[](SectionId id) { return m_sections[int(id)]; }
    SectionState const& operator[](SectionId id) const { return m_sections[int(id)]; }

    // The section that statements are placed in; code until a section
    // directive selects another.
    SectionId currentId() const { return m_current; }
    SectionState& current() { return (*this)[m_current]; }
    void select(SectionId id) { m_current = id; }

    // Where the next statement of the current section goes; bss counts
    // from 0 while its address is not known.
    uint64_t currentAddress() const;

    // Gives the statement the next size bytes of the current section,
    // reporting once when the section grows too large for an image.
    void place(Statement const& statement, uint64_t size);

    // The statements placed, in source order.
    std::vector<Placed> const& placed() const { return m_placed; }

    // Gives every section its address, checks that the sections fit and do
    // not overlap, makes room for the code and data bytes, and gives the
    // labels their addresses.
    void layout(std::string const& mainFile, SymbolTable& symbols);

private:
    Diagnostics& m_diagnostics;
    SectionState m_sections[3];
    SectionId m_current = SectionId::Code;
    std::vector<Placed> m_placed;
};

}  // namespace Assembler

#endif

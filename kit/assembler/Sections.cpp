#include "assembler/Sections.h"

#include "qxx/QxxImage.h"

#include <algorithm>

namespace Assembler {

Sections::Sections(AssemblerOptions const& options, Diagnostics& diagnostics) : m_diagnostics(diagnostics) {
    m_sections[0].name = "code";
    m_sections[0].base = options.codeAddress;
    m_sections[1].name = "data";
    m_sections[1].base = options.dataAddress;
    m_sections[2].name = "bss";
    m_sections[2].baseKnown = false;
}

uint64_t Sections::currentAddress() const {
    SectionState const& section = (*this)[m_current];
    return (section.baseKnown ? section.base : 0) + section.size;
}

void Sections::place(Statement const& statement, uint64_t size) {
    SectionState& section = current();
    m_placed.push_back(Placed{&statement, m_current, section.size});
    section.size += size;
    if (section.size > Qxx::k_max_section_size && !section.sizeReported) {
        m_diagnostics.error(statement.location, std::string("the ") + section.name +
                                                    " section is larger than " +
                                                    std::to_string(Qxx::k_max_section_size) + " bytes");
        section.sizeReported = true;
    }
}

void Sections::layout(std::string const& mainFile, SymbolTable& symbols) {
    SectionState& data = m_sections[1];
    SectionState& bss = m_sections[2];
    if (!bss.baseKnown) {
        uint64_t alignment = std::max<uint64_t>(8, bss.maxAlignment);
        uint64_t end = uint64_t(data.base) + data.size;
        bss.base = uint32_t((end + alignment - 1) / alignment * alignment);
        if ((end + alignment - 1) / alignment * alignment > 0xffffffffu)
            m_diagnostics.error(mainFile, "the bss section does not fit in the 32-bit address space");
    }
    for (SectionState& section : m_sections) {
        if (uint64_t(section.base) + section.size > (uint64_t(1) << 32))
            m_diagnostics.error(mainFile, std::string("the ") + section.name +
                                              " section does not fit in the 32-bit address space");
    }
    if (data.size != 0 && bss.size != 0 && data.base < uint64_t(bss.base) + bss.size &&
        bss.base < uint64_t(data.base) + data.size)
        m_diagnostics.error(bss.baseLocation.file.empty() ? data.baseLocation : bss.baseLocation,
                            "the data and bss sections overlap");
    for (int index = 0; index < 2; ++index)
        m_sections[index].bytes.assign(std::min<uint64_t>(m_sections[index].size, Qxx::k_max_section_size),
                                       0);
    uint32_t bases[3] = {m_sections[0].base, m_sections[1].base, m_sections[2].base};
    symbols.placeSections(bases);
}

}  // namespace Assembler

#include "assembler/ImageBuilder.h"

#include "qxx/ErrorText.h"

#include <algorithm>

namespace Assembler {

uint32_t ImageBuilder::entryPoint() {
    SectionState const& code = m_context.sections[SectionId::Code];
    uint32_t address = code.base;
    if (m_entry == nullptr) {
        m_context.symbols.codeLabel("main", address);
        return address;
    }
    int64_t result = 0;
    if (!m_context.value(*m_entry, m_entry->operands[0], result)) return address;
    if (result < code.base || result >= int64_t(code.base + code.size) || (result - code.base) % 8 != 0)
        m_context.error(
            *m_entry, "the entry point " + Qxx::hex(uint64_t(result)) + " is not an instruction of the code");
    return uint32_t(result);
}

void ImageBuilder::build(std::string const& mainFile, Qxx::QxxImage& image) {
    for (Statement const* statement : m_constants) {
        int64_t result = 0;
        m_context.value(*statement, statement->operands[0], result);
    }
    Sections& sections = m_context.sections;
    SectionState& code = sections[SectionId::Code];
    SectionState& data = sections[SectionId::Data];
    SectionState const& bss = sections[SectionId::Bss];
    if (code.size == 0) m_context.diagnostics.error(mainFile, "no instructions: the code section is empty");
    image = Qxx::QxxImage();
    image.byteOrder = m_context.options.byteOrder;
    image.entry = entryPoint();
    image.code.address = code.base;
    image.code.bytes = std::move(code.bytes);
    image.data.address = data.base;
    image.data.bytes = std::move(data.bytes);
    image.bssAddress = bss.base;
    image.bssSize = uint32_t(std::min<uint64_t>(bss.size, Qxx::k_max_section_size));
    std::vector<std::pair<SourceLocation, std::string>> errors;
    image.symbols = m_context.symbols.exportedSymbols(errors);
    for (auto const& [location, message] : errors) m_context.diagnostics.error(location, message);
}

}  // namespace Assembler

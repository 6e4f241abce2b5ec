#include "simulator/TraceWriter.h"

#include "simulator/PolyArray.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Simulator {

bool TraceWriter::open(std::string const& path, std::string& error) {
    m_file.open(path, std::ios::out | std::ios::trunc);
    if (!m_file) {
        error = "cannot open trace file '" + path + "': " + std::strerror(errno);
        return false;
    }
    m_out.rdbuf(m_file.rdbuf());
    m_out << k_header << '\n';
    return true;
}

void TraceWriter::open(std::streambuf* sink) {
    m_out.rdbuf(sink);
    m_out << k_header << '\n';
}

void TraceWriter::close() {
    if (m_out.rdbuf() != nullptr) m_out.flush();
    m_out.rdbuf(nullptr);
    if (m_file.is_open()) m_file.close();
}

void TraceWriter::instruction(uint64_t cycle, uint32_t pc, std::string const& text,
                              std::string const& effects) {
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%10llu  %08x  ", static_cast<unsigned long long>(cycle), pc);
    m_out << prefix;
    if (effects.empty()) {
        m_out << text << '\n';
        return;
    }
    m_out << text;
    for (size_t column = text.size(); column < 26; ++column) m_out << ' ';
    m_out << "  " << effects << '\n';
}

std::string TraceWriter::monoWrite(std::string const& name, uint32_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "=0x%08x", value);
    return name + text;
}

std::string TraceWriter::memoryWrite(uint32_t address, uint32_t value, uint32_t width) {
    char text[48];
    std::snprintf(text, sizeof text, "[0x%08x]=0x%0*x", address, int(width * 2), value);
    return text;
}

std::string TraceWriter::polyWrite(unsigned reg, PolyArray const& poly) {
    std::string text = "p" + std::to_string(reg) + "={";
    for (unsigned pe = 0; pe < poly.peCount(); ++pe) {
        if (pe != 0) text += ',';
        text += poly.enabled(pe) ? std::to_string(int32_t(poly.value(reg, pe))) : "-";
    }
    return text + "}";
}

}  // namespace Simulator

// The second pass over a program's statements: with every label placed, it
// evaluates the operands of the statements the first pass placed and writes
// their bytes into the code and data sections.
#ifndef ASSEMBLER_SECONDPASS_H
#define ASSEMBLER_SECONDPASS_H

#include "assembler/AssemblyContext.h"
#include "assembler/Sections.h"

#include <cstdint>
#include <vector>

namespace Assembler {

class SecondPass {
public:
    explicit SecondPass(AssemblyContext& context) : m_context(context) {}

    void emit(Placed const& placed);

private:
    void error(Statement const& statement, std::string const& message) {
        m_context.error(statement, message);
    }

    void emitFill(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset);
    void emitValues(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset);
    void emitStrings(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset);
    void emitInstruction(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset);

    AssemblyContext& m_context;
};

}  // namespace Assembler

#endif

// The first pass over a program's statements: defines the labels and
// constants, follows the section directives and gives every instruction and
// data directive its place and size. Operands other than sizes and
// addresses are left to the second pass, when labels have addresses.
#ifndef ASSEMBLER_FIRSTPASS_H
#define ASSEMBLER_FIRSTPASS_H

#include "assembler/AssemblyContext.h"
#include "assembler/Statement.h"

#include <vector>

namespace Assembler {

class FirstPass {
public:
    explicit FirstPass(AssemblyContext& context) : m_context(context) {}

    void add(Statement const& statement);

    // The .equ statements, to be evaluated once every label is placed.
    std::vector<Statement const*> const& constants() const { return m_constants; }
    // The .entry statement, or null when there is none.
    Statement const* entry() const { return m_entry; }

private:
    void error(Statement const& statement, std::string const& message) {
        m_context.error(statement, message);
    }

    void sectionDirective(Statement const& statement);
    void equDirective(Statement const& statement);
    void entryDirective(Statement const& statement);
    void alignDirective(Statement const& statement);
    void spaceDirective(Statement const& statement);
    bool dataAllowed(Statement const& statement);
    void valuesDirective(Statement const& statement);
    void stringDirective(Statement const& statement);

    AssemblyContext& m_context;
    Sections& m_sections = m_context.sections;
    std::vector<Statement const*> m_constants;
    Statement const* m_entry = nullptr;
};

}  // namespace Assembler

#endif

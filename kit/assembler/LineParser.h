// Splits a line of assembler source into labels, operation and operands,
// and reads the literals of the language.
//
//   [label:]... [op [operand {, operand}]] [; comment]
//
// Comments start with ";", "#" or "//" outside quotes. Operands are split
// at commas outside quotes and parentheses.
#ifndef ASSEMBLER_LINEPARSER_H
#define ASSEMBLER_LINEPARSER_H

#include "assembler/Statement.h"

#include <string>

namespace Assembler {

// Fills the statement's labels, op, rest and operands; false with an error
// text for an unterminated quote, an empty operand or a bad label.
bool parseLine(std::string const& text, Statement& statement, std::string& error);

bool isIdentifier(std::string const& text);

// Reads a quoted string with the escapes \n \t \r \0 \\ \" \' \xHH.
bool parseStringLiteral(std::string const& text, std::string& value, std::string& error);

std::string trim(std::string const& text);

}  // namespace Assembler

#endif

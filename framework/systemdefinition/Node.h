// One addressable unit of a chip: a VORN processor core, a memory, a
// streaming unit or a service unit. A node carries the configuration of
// its own section system.<chip>.<node> of the system configuration, with
// that prefix removed; a VORN node also keeps the keys under "asm." and
// "abi." as separate sets for the assembler and ABI settings.
#ifndef SYSTEMDEFINITION_NODE_H
#define SYSTEMDEFINITION_NODE_H

#include <iosfwd>
#include <memory>
#include <string>

#include "generic/Export.h"

namespace Configuration {
class Properties;
}

namespace SystemDefinition {

class Chip;

// Chosen by the node-type keyword of a node's section.
enum NodeType : int {
    VORN = 0,       // "vorn"
    MEMORY = 1,     // "memory"
    STREAMING = 2,  // "streaming"
    SERVICE = 3,    // "service"
};

class QX_FRAMEWORK_API Node {
public:
    // Builds the node from its section; throws (a pointer to a
    // SystemDefinition exception) when the section is missing, has no
    // node-type or an unknown one, or its asm/abi sets cannot be taken.
    Node(Chip const* chip, std::string const& name, int id);
    virtual ~Node();
    Node(Node const&) = delete;
    Node& operator=(Node const&) = delete;

    int getID() const;
    int getChipID() const;
    NodeType getNodeType() const;
    bool isVorn() const;
    bool isMemory() const;
    bool isStreaming() const;
    bool isService() const;
    // The section name system.<chip>.<node>.
    std::string const& getName() const;

    // The node's own stores, which stay owned by the node. Each throws
    // InvalidSystemConfigurationException when its store is absent (always
    // so for the asm and abi sets of a node that is not a VORN).
    Configuration::Properties& getArchConfigProperties() const;
    Configuration::Properties& getAllProperties() const;
    Configuration::Properties& getAsmConfigProperties() const;
    Configuration::Properties& getAbiConfigProperties() const;

    // Writes the arch store as Properties::display does.
    std::ostream& display(std::ostream& os) const;

private:
    void readNodeType();
    void initialise();
    std::unique_ptr<Configuration::Properties> extractSubset(char const* prefix, char const* failure) const;

    int m_id;
    NodeType m_type = VORN;
    std::string m_name;
    Chip const* m_chip;
    std::unique_ptr<Configuration::Properties> m_arch_properties;
    std::unique_ptr<Configuration::Properties> m_asm_properties;  // VORN nodes only
    std::unique_ptr<Configuration::Properties> m_abi_properties;  // VORN nodes only
};

}  // namespace SystemDefinition

#endif  // SYSTEMDEFINITION_NODE_H

// The model of the target system: the accelerator chips, each with its
// nodes, and the system-wide values that go with them. It is built once,
// on first use, from the system configuration as the common option set
// presents it, and lives until the process ends.
#ifndef SYSTEMDEFINITION_SYSTEM_H
#define SYSTEMDEFINITION_SYSTEM_H

#include <memory>
#include <string>
#include <vector>

#include "generic/Export.h"
#include "systemdefinition/Node.h"

namespace Configuration {
class Properties;
}

namespace SystemDefinition {

class Chip;

// Configuration keys of the system model.
extern QX_FRAMEWORK_API char const* const SD_SYSTEM;            // "system"
extern QX_FRAMEWORK_API char const* const SD_CHIPS;             // "system.chips", list of chip names
extern QX_FRAMEWORK_API char const* const SD_CHIP_IDS;          // "system.chip-ids", list of chip IDs
extern QX_FRAMEWORK_API char const* const SD_INTERRUPT_TARGET;  // "system.interrupt-target"
extern QX_FRAMEWORK_API char const* const SD_CHIP_ID_SIZE;      // "system.chip-id-size", bits of a chip ID
extern QX_FRAMEWORK_API char const* const SD_NODE_ID_SIZE;      // "system.node-id-size", bits of a node ID
extern QX_FRAMEWORK_API char const* const SD_NODES;     // "nodes", last part of a chip's node-name list key
extern QX_FRAMEWORK_API char const* const SD_NODE_IDS;  // "node-ids", last part of a chip's node-ID list key

class QX_FRAMEWORK_API System {
public:
    // The single system, built on the first call. A failed build throws
    // (a pointer to a SystemDefinition exception) and leaves no system, so
    // the next call reads the configuration again. Call it only after the
    // tool has made its option set from its command line.
    static System* getInstance();

    virtual ~System();
    System(System const&) = delete;
    System& operator=(System const&) = delete;

    // Lookups; the system keeps ownership of what they return.
    Chip* getChip(int chipID) const;  // InvalidAttributeException when unknown
    Chip* getChip() const;            // the default chip; UnknownAttributeException when none
    Node* getNode(int chipID, int nodeID) const;
    Node* getNode() const;  // the default node of the default chip

    std::vector<int> getChipIDs() const;
    unsigned char getChipIDSize() const;  // low byte of the configured size
    unsigned char getNodeIDSize() const;
    int getDefaultChipID() const;  // -1 when chip-id is not an integer
    int getDefaultNodeID() const;  // -1 when node-id is not an integer
    unsigned int getInterruptTarget() const;

    // (chipID << node-ID size) | nodeID on 32 bits; only the low five bits
    // of the size take part in the shift.
    int makeUniqueNodeID(int chipID, int nodeID) const;

    // Nodes of every chip, chip by chip in the order of each chip's node-ID
    // list, looked up by ID (so a repeated ID yields its first node again).
    std::vector<Node const*> getAllNodes() const;
    std::vector<Node const*> getAllNodes();
    std::vector<Node const*> getAllVorns() const;
    std::vector<Node const*> getNodesOfType(NodeType type) const;

private:
    System();
    void initialise();
    std::vector<std::string> readSystemValues();
    void createChips(std::vector<std::string> const& chipNames);
    void readDefaults();
    template <typename Filter>
    std::vector<Node const*> collectNodes(Filter const& filter) const;

    static System* s_system;

    std::unique_ptr<Configuration::Properties> m_properties;  // the seven system keys
    std::vector<std::unique_ptr<Chip>> m_chips;               // in the order of system.chips
    std::vector<int> m_chip_ids;                              // parallel to m_chips
    unsigned int m_interrupt_target = 0;
    int m_default_chip_id = -1;
    int m_default_node_id = -1;
    int m_chip_id_size = 0;
    int m_node_id_size = 0;
};

}  // namespace SystemDefinition

#endif  // SYSTEMDEFINITION_SYSTEM_H

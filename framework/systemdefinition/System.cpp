#include "systemdefinition/System.h"

#include <cstdint>
#include <string>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/SystemDefinitionExceptions.h"
#include "systemdefinition/getIndex.h"

namespace SystemDefinition {

char const* const SD_SYSTEM = "system";
char const* const SD_CHIPS = "system.chips";
char const* const SD_CHIP_IDS = "system.chip-ids";
char const* const SD_INTERRUPT_TARGET = "system.interrupt-target";
char const* const SD_CHIP_ID_SIZE = "system.chip-id-size";
char const* const SD_NODE_ID_SIZE = "system.node-id-size";
char const* const SD_NODES = "nodes";
char const* const SD_NODE_IDS = "node-ids";

System* System::s_system = nullptr;

namespace {

[[noreturn]] void throwMissingAttribute(char const* key) {
    throw new InvalidSystemConfigurationException(std::string("Failed to find ") + key + " attribute.");
}

}  // namespace

System* System::getInstance() {
    // A constructor that throws releases its memory and leaves s_system
    // null, so a later call starts again from the configuration.
    if (s_system == nullptr) s_system = new System();
    return s_system;
}

System::System() : m_properties(std::make_unique<Configuration::Properties>()) {
    initialise();
}

System::~System() = default;

void System::initialise() {
    std::vector<std::string> required = {SD_CHIPS,
                                         SD_CHIP_IDS,
                                         SD_INTERRUPT_TARGET,
                                         SD_CHIP_ID_SIZE,
                                         SD_NODE_ID_SIZE,
                                         Configuration::CO_L_chip_id,
                                         Configuration::CO_L_node_id};
    Configuration::CommandOptions* options = Configuration::CommandOptions::getCommandOptions();
    if (!options->extractProperties(required, *m_properties)) {
        throw new InvalidSystemConfigurationException(
            "Failed to find one or more required system properties.\n" + options->getLastError());
    }
    std::vector<std::string> chipNames = readSystemValues();
    if (chipNames.size() != m_chip_ids.size()) {
        throw new InvalidSystemConfigurationException(
            "The system.chips and system.chip-ids must be the same size.");
    }
    createChips(chipNames);
    readDefaults();
}

// Reads the system-wide values and the chip IDs and returns the chip names.
// Every key is known to be present by now, so a failed read means the value
// has the wrong form: not a number, or not declared as a list.
std::vector<std::string> System::readSystemValues() {
    if (!m_properties->get(m_interrupt_target, SD_INTERRUPT_TARGET))
        throwMissingAttribute(SD_INTERRUPT_TARGET);
    if (!m_properties->get(m_chip_id_size, SD_CHIP_ID_SIZE)) throwMissingAttribute(SD_CHIP_ID_SIZE);
    if (!m_properties->get(m_node_id_size, SD_NODE_ID_SIZE)) throwMissingAttribute(SD_NODE_ID_SIZE);

    std::vector<long long> chipIDs;
    if (!m_properties->getInt64Vector(chipIDs, SD_CHIP_IDS)) throwMissingAttribute(SD_CHIP_IDS);
    for (long long id : chipIDs) m_chip_ids.push_back(static_cast<int>(static_cast<std::uint32_t>(id)));

    std::vector<std::string> chipNames;
    if (!m_properties->getStringVector(chipNames, SD_CHIPS)) throwMissingAttribute(SD_CHIPS);
    return chipNames;
}

void System::createChips(std::vector<std::string> const& chipNames) {
    m_chips.reserve(chipNames.size());
    for (std::size_t i = 0; i < chipNames.size(); ++i) {
        m_chips.push_back(std::make_unique<Chip>(chipNames[i], m_chip_ids[i]));
    }
}

void System::readDefaults() {
    if (!m_properties->get(m_default_chip_id, Configuration::CO_L_chip_id)) m_default_chip_id = -1;
    if (!m_properties->get(m_default_node_id, Configuration::CO_L_node_id)) m_default_node_id = -1;
}

Chip* System::getChip(int chipID) const {
    int index = getIndex<int>(m_chip_ids, chipID);
    if (index < 0) {
        throw new InvalidAttributeException("The chip ID " + std::to_string(chipID) + " is not known.");
    }
    return m_chips[static_cast<std::size_t>(index)].get();
}

Chip* System::getChip() const {
    if (m_default_chip_id < 0) throw new UnknownAttributeException("Unable to find the chip-id.");
    return getChip(m_default_chip_id);
}

Node* System::getNode(int chipID, int nodeID) const {
    return getChip(chipID)->getNode(nodeID);
}

Node* System::getNode() const {
    Chip* chip = getChip();
    if (m_default_node_id < 0) throw new UnknownAttributeException("Unable to find the node-id.");
    return chip->getNode(m_default_node_id);
}

std::vector<int> System::getChipIDs() const {
    return m_chip_ids;
}

unsigned char System::getChipIDSize() const {
    return static_cast<unsigned char>(m_chip_id_size);
}

unsigned char System::getNodeIDSize() const {
    return static_cast<unsigned char>(m_node_id_size);
}

int System::getDefaultChipID() const {
    return m_default_chip_id;
}

int System::getDefaultNodeID() const {
    return m_default_node_id;
}

unsigned int System::getInterruptTarget() const {
    return m_interrupt_target;
}

int System::makeUniqueNodeID(int chipID, int nodeID) const {
    // Shifted as unsigned: a negative chip ID must not make the shift undefined.
    unsigned int shift = static_cast<unsigned int>(m_node_id_size) % 32U;
    std::uint32_t unique = (static_cast<std::uint32_t>(chipID) << shift) | static_cast<std::uint32_t>(nodeID);
    return static_cast<int>(unique);
}

template <typename Filter>
std::vector<Node const*> System::collectNodes(Filter const& filter) const {
    std::vector<Node const*> nodes;
    for (auto const& chip : m_chips) {
        for (int id : chip->getNodeIDs()) {
            Node const* node = chip->getNode(id);
            if (filter(*node)) nodes.push_back(node);
        }
    }
    return nodes;
}

std::vector<Node const*> System::getAllNodes() const {
    return collectNodes([](Node const&) { return true; });
}

std::vector<Node const*> System::getAllNodes() {
    return static_cast<System const*>(this)->getAllNodes();
}

std::vector<Node const*> System::getAllVorns() const {
    return collectNodes([](Node const& node) { return node.isVorn(); });
}

std::vector<Node const*> System::getNodesOfType(NodeType type) const {
    return collectNodes([type](Node const& node) { return node.getNodeType() == type; });
}

}  // namespace SystemDefinition

#include "systemdefinition/Chip.h"

#include <cstdint>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "systemdefinition/Node.h"
#include "systemdefinition/System.h"
#include "systemdefinition/SystemDefinitionExceptions.h"

namespace SystemDefinition {

Chip::Chip(std::string const& name, int id)
    : m_name(name), m_id(id), m_properties(std::make_unique<Configuration::Properties>()) {
    initialise();
}

Chip::~Chip() = default;

void Chip::initialise() {
    std::string const chipPrefix = std::string(SD_SYSTEM) + "." + m_name + ".";
    std::string const nodesKey = chipPrefix + SD_NODES;
    std::string const nodeIDsKey = chipPrefix + SD_NODE_IDS;
    std::vector<std::string> required = {nodesKey, nodeIDsKey};
    if (!Configuration::CommandOptions::getCommandOptions()->extractProperties(required, *m_properties)) {
        throw new InvalidSystemConfigurationException("Failed to find one or more required chip properties.");
    }

    std::vector<long long> nodeIDs;
    if (!m_properties->getInt64Vector(nodeIDs, nodeIDsKey.c_str())) {
        throw new InvalidSystemConfigurationException("Failed to find " + nodeIDsKey + " attribute.");
    }
    for (long long id : nodeIDs) m_node_ids.push_back(static_cast<int>(static_cast<std::uint32_t>(id)));

    std::vector<std::string> nodeNames;
    if (!m_properties->getStringVector(nodeNames, nodesKey.c_str())) {
        throw new InvalidSystemConfigurationException("Failed to find " + nodesKey + " attribute.");
    }
    if (nodeNames.size() != m_node_ids.size()) {
        throw new InvalidSystemConfigurationException("The " + nodesKey + " and " + nodeIDsKey +
                                                      " must be the same size.");
    }
    createNodes(nodeNames);
}

void Chip::createNodes(std::vector<std::string> const& nodeNames) {
    m_nodes.reserve(nodeNames.size());
    for (std::size_t i = 0; i < nodeNames.size(); ++i) {
        m_nodes.push_back(std::make_unique<Node>(this, nodeNames[i], m_node_ids[i]));
        m_first_node_with_id.emplace(m_node_ids[i], i);  // keeps the first node of a repeated ID
    }
}

int Chip::getID() const {
    return m_id;
}

std::string const& Chip::getName() const {
    return m_name;
}

Node* Chip::getNode(int nodeID) const {
    auto found = m_first_node_with_id.find(nodeID);
    if (found == m_first_node_with_id.end()) {
        throw new InvalidAttributeException("The node ID " + std::to_string(nodeID) + " is not known.");
    }
    return m_nodes[found->second].get();
}

std::vector<int> Chip::getNodeIDs() const {
    return m_node_ids;
}

}  // namespace SystemDefinition

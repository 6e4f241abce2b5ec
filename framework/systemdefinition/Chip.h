// One accelerator chip of the system model: its name, its chip ID and its
// nodes, which it builds from the configuration when it is constructed.
#ifndef SYSTEMDEFINITION_CHIP_H
#define SYSTEMDEFINITION_CHIP_H

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "generic/Export.h"

namespace Configuration {
class Properties;
}

namespace SystemDefinition {

class Node;

class QX_FRAMEWORK_API Chip {
public:
    // Reads system.<name>.nodes and system.<name>.node-ids and builds the
    // nodes in list order; throws (a pointer to a SystemDefinition
    // exception) when the lists are missing, malformed or of different
    // lengths, or a node cannot be built.
    Chip(std::string const& name, int id);
    virtual ~Chip();
    Chip(Chip const&) = delete;
    Chip& operator=(Chip const&) = delete;

    int getID() const;
    std::string const& getName() const;
    // The first node with this ID; InvalidAttributeException when none.
    Node* getNode(int nodeID) const;
    std::vector<int> getNodeIDs() const;

private:
    void initialise();
    void createNodes(std::vector<std::string> const& nodeNames);

    std::string m_name;
    int m_id;
    std::unique_ptr<Configuration::Properties> m_properties;  // the two chip keys
    std::vector<std::unique_ptr<Node>> m_nodes;               // in the order of system.<chip>.nodes
    std::vector<int> m_node_ids;                              // parallel to m_nodes
    // Position of the first node with each ID, so that lookups, and the
    // node lists of the system that look up every node, stay cheap on
    // chips with thousands of nodes.
    std::unordered_map<int, std::size_t> m_first_node_with_id;
};

}  // namespace SystemDefinition

#endif  // SYSTEMDEFINITION_CHIP_H

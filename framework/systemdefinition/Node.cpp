#include "systemdefinition/Node.h"

#include <ostream>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/System.h"
#include "systemdefinition/SystemDefinitionExceptions.h"

namespace SystemDefinition {

namespace {

// Keywords of the node-type key, in the order they are tried.
char const* const SYSTEM_NODE_TYPE_VORN = "vorn";
char const* const SYSTEM_NODE_TYPE_MEMORY = "memory";
char const* const SYSTEM_NODE_TYPE_STREAMING = "streaming";
char const* const SYSTEM_NODE_TYPE_SERVICE = "service";

char const* const NODE_TYPE_KEY = "node-type";
char const* const NO_ARCH_PROPERTIES = "No Properties object has been initialised for this node";

}  // namespace

Node::Node(Chip const* chip, std::string const& name, int id)
    : m_id(id), m_name(std::string(SD_SYSTEM) + "." + chip->getName() + "." + name), m_chip(chip) {
    auto arch = std::make_unique<Configuration::Properties>();
    if (!Configuration::CommandOptions::getCommandOptions()->extractSection(m_name, *arch)) {
        throw new InvalidSystemConfigurationException("Could not extract the node: " + m_name +
                                                      " from the CommandOptions.");
    }
    m_arch_properties = std::move(arch);
    readNodeType();
    initialise();
}

Node::~Node() = default;

void Node::readNodeType() {
    std::string keyword;
    if (!m_arch_properties->get(keyword, NODE_TYPE_KEY, true)) {
        throw new InvalidSystemConfigurationException("Could not determine the node-type");
    }
    struct Keyword {
        char const* text;
        NodeType type;
    } const keywords[] = {
        {SYSTEM_NODE_TYPE_VORN, VORN},
        {SYSTEM_NODE_TYPE_MEMORY, MEMORY},
        {SYSTEM_NODE_TYPE_STREAMING, STREAMING},
        {SYSTEM_NODE_TYPE_SERVICE, SERVICE},
    };
    for (Keyword const& k : keywords) {
        if (keyword == k.text) {
            m_type = k.type;
            return;
        }
    }
    throw new InvalidSystemConfigurationException("The node-type " + keyword + " is not known");
}

void Node::initialise() {
    if (Configuration::CommandOptions::getCommandOptions() == nullptr) {
        throw new CommandOptionNotFoundException("The CommandOptions object was not found");
    }
    if (!isVorn()) return;
    m_asm_properties = extractSubset("asm", "Could not extract the asm properties from the CommandOptions.");
    m_abi_properties = extractSubset("abi", "Could not extract the abi properties from the CommandOptions.");
}

// The keys of the arch store under prefix + ".", with that part removed.
// A node without such keys gets an empty store.
std::unique_ptr<Configuration::Properties> Node::extractSubset(char const* prefix,
                                                               char const* failure) const {
    auto subset = std::make_unique<Configuration::Properties>();
    if (!m_arch_properties->get(*subset, prefix)) throw new InvalidSystemConfigurationException(failure);
    return subset;
}

int Node::getID() const {
    return m_id;
}

int Node::getChipID() const {
    return m_chip->getID();
}

NodeType Node::getNodeType() const {
    return m_type;
}

bool Node::isVorn() const {
    return m_type == VORN;
}

bool Node::isMemory() const {
    return m_type == MEMORY;
}

bool Node::isStreaming() const {
    return m_type == STREAMING;
}

bool Node::isService() const {
    return m_type == SERVICE;
}

std::string const& Node::getName() const {
    return m_name;
}

Configuration::Properties& Node::getArchConfigProperties() const {
    if (!m_arch_properties) throw new InvalidSystemConfigurationException(NO_ARCH_PROPERTIES);
    return *m_arch_properties;
}

Configuration::Properties& Node::getAllProperties() const {
    return getArchConfigProperties();
}

Configuration::Properties& Node::getAsmConfigProperties() const {
    if (!m_asm_properties) {
        throw new InvalidSystemConfigurationException(
            "The AsmConfig Properties object has not been initialised for this node");
    }
    return *m_asm_properties;
}

Configuration::Properties& Node::getAbiConfigProperties() const {
    if (!m_abi_properties) {
        throw new InvalidSystemConfigurationException(
            "The AbiConfig Properties object has not been initialised for this node");
    }
    return *m_abi_properties;
}

std::ostream& Node::display(std::ostream& os) const {
    if (!m_arch_properties) return os << NO_ARCH_PROPERTIES << '\n';
    m_arch_properties->display(os);
    return os;
}

}  // namespace SystemDefinition

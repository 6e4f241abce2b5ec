#include "sdksupport/ArchConfig.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>

#include "configuration/CommonOptions.h"
#include "configuration/Properties.h"
#include "generic/Exception.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/Node.h"
#include "systemdefinition/System.h"

namespace SDKSupport {

using namespace Configuration;  // the CO_L_ key names
using SystemDefinition::System;

std::map<int, ArchConfig*>* ArchConfig::s_arch_configs = nullptr;

namespace {

char const* const MEMORY_PROXIMITY_KEY = "memory-proximity";
char const* const TARGET_NAME_KEY = "name";

}  // namespace

ArchConfig* ArchConfig::getInstance() {
    System* system = System::getInstance();
    int nodeID = system->getDefaultNodeID();
    int chipID = system->getDefaultChipID();
    return getInstance(chipID, nodeID);
}

ArchConfig* ArchConfig::getInstance(int chipID, int nodeID) {
    try {
        int uniqueNodeID = System::getInstance()->makeUniqueNodeID(chipID, nodeID);
        if (s_arch_configs == nullptr) s_arch_configs = new std::map<int, ArchConfig*>();
        auto found = s_arch_configs->find(uniqueNodeID);
        if (found != s_arch_configs->end()) return found->second;
        ArchConfig* created = createInstance(chipID, nodeID).release();  // owned by the registry from here on
        (*s_arch_configs)[uniqueNodeID] = created;
        return created;
    } catch (Generic::Exception* e) {
        // A tool cannot go on without the architecture of its node.
        std::cerr << "ERROR: " << e->toString() << std::endl;
        std::exit(-1);
    }
}

std::unique_ptr<ArchConfig> ArchConfig::createInstance(int chipID, int nodeID) {
    SystemDefinition::Node* node = System::getInstance()->getChip(chipID)->getNode(nodeID);
    return std::make_unique<ArchConfig>(node->getArchConfigProperties());
}

ArchConfig::ArchConfig(Properties const& properties)
    : m_properties(std::make_unique<Properties>(properties)) {
    m_valid = initialiseFieldsFromProperties();
    if (!m_valid) throw new Generic::Exception("Could not initialise the ArchConfig object: " + m_error_text);
}

ArchConfig::~ArchConfig() = default;

bool ArchConfig::initialiseFieldsFromProperties() {
    return initialiseArchConfigFieldsFromProperties();
}

// Reads the fields in a fixed order; the first read that fails ends the
// initialisation with its reason in the error text, and the fields read
// before it keep their new values.
bool ArchConfig::initialiseArchConfigFieldsFromProperties() {
    static UnsignedKey const processors[] = {
        {CO_L_total_number_pes, &ArchConfig::m_number_poly_processors},
    };
    static UnsignedKey const sizes[] = {
        {CO_L_number_pio, &ArchConfig::m_number_pio},
        {CO_L_number_sio, &ArchConfig::m_number_sio},
        {CO_L_mono_stack_size, &ArchConfig::m_mono_stack_size},
        {CO_L_mono_heap_size, &ArchConfig::m_mono_heap_size},
        {CO_L_poly_stack_size, &ArchConfig::m_poly_stack_size},
        {CO_L_mono_memory_size, &ArchConfig::m_mono_memory_size},
        {CO_L_mono_memory_start, &ArchConfig::m_mono_memory_start},
        {CO_L_mono_registers_size, &ArchConfig::m_mono_register_size},
        {CO_L_poly_memory_size, &ArchConfig::m_poly_memory_size},
        {CO_L_poly_registers_size, &ArchConfig::m_poly_register_size},
        {CO_L_enable_stack_size, &ArchConfig::m_enable_stack_size},
        {CO_L_number_semaphores, &ArchConfig::m_number_semaphores},
        {CO_L_number_threads, &ArchConfig::m_number_threads},
        {CO_L_mono_alignment, &ArchConfig::m_mono_alignment},
        {CO_L_poly_alignment, &ArchConfig::m_poly_alignment},
        {CO_L_mono_stack_alignment, &ArchConfig::m_mono_stack_alignment},
        {CO_L_poly_stack_alignment, &ArchConfig::m_poly_stack_alignment},
    };
    static UnsignedKey const instructions[] = {
        {CO_L_instruction_size, &ArchConfig::m_instruction_size},
        {CO_L_register_natural_align, &ArchConfig::m_register_natural_align},
        {CO_L_memory_natural_align, &ArchConfig::m_memory_natural_align},
        {CO_L_gsu_address, &ArchConfig::m_gsu_address},
    };

    m_memory_proximity.clear();
    if (!m_properties || !m_properties->isReady()) {
        return failWith("The architecture properties are missing or not ready.");
    }
    if (!readEndianness()) return false;
    m_error_text.clear();
    return readUnsigned(processors, std::size(processors)) && readNumberConfiguredPolyProcessors() &&
           readUnsigned(sizes, std::size(sizes)) && readString(CO_L_instruction_set, m_target_iset) &&
           readUnsigned(instructions, std::size(instructions)) &&
           readPair(CO_L_pio_flush_left, m_pio_flush_left) &&
           readPair(CO_L_pio_flush_right, m_pio_flush_right) && readString(TARGET_NAME_KEY, m_target_name) &&
           readMemoryProximity();
}

bool ArchConfig::readEndianness() {
    m_endianness = Generic::ENDIANNESS_NOT_SET;
    std::string text;
    if (!readString(CO_L_Endianness, text)) return false;
    if (text == "little") m_endianness = Generic::ENDIANNESS_LITTLE;
    if (text == "big") m_endianness = Generic::ENDIANNESS_BIG;
    if (m_endianness == Generic::ENDIANNESS_NOT_SET) {
        return failWith("Invalid endianness - valid values are little or big.");
    }
    return true;
}

bool ArchConfig::readUnsigned(UnsignedKey const* keys, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!m_properties->get(this->*keys[i].field, keys[i].key)) return failWithStoreError();
    }
    return true;
}

// Optional: without the key every poly processor counts as configured.
bool ArchConfig::readNumberConfiguredPolyProcessors() {
    if (!m_properties->contains(CO_L_number_configured_pes)) {
        m_number_configured_poly_processors = m_number_poly_processors;
        return true;
    }
    if (!m_properties->get(m_number_configured_poly_processors, CO_L_number_configured_pes)) {
        return failWithStoreError();
    }
    return true;
}

bool ArchConfig::readString(char const* key, std::string& field) {
    if (!m_properties->get(field, key, true)) return failWithStoreError();
    return true;
}

bool ArchConfig::readPair(char const* key, unsigned int (&pair)[2]) {
    std::vector<unsigned long long> values;
    if (!m_properties->getUint64Vector(values, key)) return failWithStoreError();
    if (values.size() < 2) return failWith(std::string(key) + " needs two values.");
    pair[0] = static_cast<unsigned int>(values[0]);
    pair[1] = static_cast<unsigned int>(values[1]);
    return true;
}

// The list holds chip ID, node ID pairs; they are kept as unique node IDs.
bool ArchConfig::readMemoryProximity() {
    std::vector<long long> values;
    if (!m_properties->getInt64Vector(values, MEMORY_PROXIMITY_KEY)) return failWithStoreError();
    if (values.size() % 2 != 0) {
        return failWith("Invalid memory_proximity - needs to be a list of chip ID, node ID pairs.");
    }
    for (std::size_t i = 0; i < values.size(); i += 2) {
        int chipID = static_cast<int>(static_cast<std::uint32_t>(values[i]));
        int nodeID = static_cast<int>(static_cast<std::uint32_t>(values[i + 1]));
        m_memory_proximity.push_back(System::getInstance()->makeUniqueNodeID(chipID, nodeID));
    }
    return true;
}

bool ArchConfig::failWith(std::string const& reason) {
    m_error_text = reason;
    return false;
}

bool ArchConfig::failWithStoreError() {
    m_properties->getLastErrorMessage(m_error_text);
    return false;
}

bool ArchConfig::getLastErrorMessage(std::string& message) const {
    message = m_error_text;
    if (m_properties) {
        std::string storeError;
        m_properties->getLastErrorMessage(storeError);
        message = message.empty() ? storeError : message + "\n" + storeError;
    }
    return m_valid && (!m_properties || m_properties->isReady());
}

std::ostream& ArchConfig::display(std::ostream& os) const {
    struct Line {
        char const* label;
        unsigned int value;
    } const lines[] = {
        {"number of poly processors ", m_number_poly_processors},
        {"number of bytes in mono memory (each mem loc is 1 byte) ", m_mono_memory_size},
        {"memory starts here ", m_mono_memory_start},
        {"number of registers, each one is 1 byte ", m_mono_register_size},
        {"number of bytes in poly memory (each mem loc is 1 byte) ", m_poly_memory_size},
        {"number of registers, each one is 1 byte ", m_poly_register_size},
        {"number of entries in enable stack ", m_enable_stack_size},
        {"number of semaphores ", m_number_semaphores},
        {"number of threads available ", m_number_threads},
        {"mono alignment 1 = 8 bit, 2 = 16 bit ", m_mono_alignment},
        {"poly alignment 1 = 8 bit, 2 = 16 bit ", m_poly_alignment},
        {"number of pio channels ", m_number_pio},
        {"number of sio channels ", m_number_sio},
        {"size of mono stack  ", m_mono_stack_size},
        {"size of mono heap ", m_mono_heap_size},
        {"size of poly stack  ", m_poly_stack_size},
        {"the size of the assembly instructions ", m_instruction_size},
        {"naturally align registers ", m_register_natural_align},
        {"naturally align memory ", m_memory_natural_align},
        {"mono stack alignment ", m_mono_stack_alignment},
        {"poly stack alignment ", m_poly_stack_alignment},
        {"GSU address ", m_gsu_address},
    };
    for (Line const& line : lines) os << line.label << line.value << std::endl;
    os << (m_endianness == Generic::ENDIANNESS_BIG ? "Endianness big" : "Endianness little") << std::endl;
    os << "Name of the target " << m_target_name << std::endl;
    os << "Instruction set name " << m_target_iset << std::endl;
    return os;
}

unsigned int ArchConfig::getNumberPolyProcessors() const {
    return m_number_poly_processors;
}
unsigned int ArchConfig::getNumberConfiguredPolyProcessors() const {
    return m_number_configured_poly_processors;
}

unsigned int ArchConfig::getMonoMemorySize() const {
    std::cout << "ArchConfig::getMonoMemorySize() is deprecated - use MemoryInfo instead." << '\n';
    return m_mono_memory_size;
}

unsigned int ArchConfig::getMonoMemoryStart() const {
    std::cout << "ArchConfig::getMonoMemoryStart() is deprecated - use MemoryInfo instead." << '\n';
    return m_mono_memory_start;
}

unsigned int ArchConfig::getMonoRegisterSize() const {
    return m_mono_register_size;
}
unsigned int ArchConfig::getPolyMemorySize() const {
    return m_poly_memory_size;
}
unsigned int ArchConfig::getPolyRegisterSize() const {
    return m_poly_register_size;
}
unsigned int ArchConfig::getEnableStackSize() const {
    return m_enable_stack_size;
}
unsigned int ArchConfig::getNumberSemaphores() const {
    return m_number_semaphores;
}
unsigned int ArchConfig::getNumberThreads() const {
    return m_number_threads;
}
unsigned int ArchConfig::getMonoAlignment() const {
    return m_mono_alignment;
}
unsigned int ArchConfig::getPolyAlignment() const {
    return m_poly_alignment;
}
unsigned int ArchConfig::getNumberPio() const {
    return m_number_pio;
}
unsigned int ArchConfig::getNumberSio() const {
    return m_number_sio;
}
unsigned int ArchConfig::getMonoStackSize() const {
    return m_mono_stack_size;
}
unsigned int ArchConfig::getMonoHeapSize() const {
    return m_mono_heap_size;
}
unsigned int ArchConfig::getPolyStackSize() const {
    return m_poly_stack_size;
}
unsigned int ArchConfig::getInstructionSize() const {
    return m_instruction_size;
}
unsigned int ArchConfig::getRegNaturalAlign() const {
    return m_register_natural_align;
}
unsigned int ArchConfig::getMemNaturalAlign() const {
    return m_memory_natural_align;
}
unsigned int ArchConfig::getMonoStackAlignment() const {
    return m_mono_stack_alignment;
}
unsigned int ArchConfig::getPolyStackAlignment() const {
    return m_poly_stack_alignment;
}
unsigned int ArchConfig::getGSUAddress() const {
    return m_gsu_address;
}
Generic::Endianness ArchConfig::getEndianness() const {
    return m_endianness;
}
std::string const& ArchConfig::getTargetName() const {
    return m_target_name;
}
std::string const& ArchConfig::getTargetIset() const {
    return m_target_iset;
}

void ArchConfig::getPioFlushLeft(unsigned int& first, unsigned int& second) const {
    first = m_pio_flush_left[0];
    second = m_pio_flush_left[1];
}

void ArchConfig::getPioFlushRight(unsigned int& first, unsigned int& second) const {
    first = m_pio_flush_right[0];
    second = m_pio_flush_right[1];
}

void ArchConfig::getMemoryProximity(std::vector<int>& out) const {
    out = m_memory_proximity;
}

void ArchConfig::setNumberPolyProcessors(unsigned int value) {
    m_number_poly_processors = value;
}
void ArchConfig::setNumberConfiguredPolyProcessors(unsigned int value) {
    m_number_configured_poly_processors = value;
}
void ArchConfig::setMonoMemorySize(unsigned int value) {
    m_mono_memory_size = value;
}
void ArchConfig::setMonoRegisterSize(unsigned int value) {
    m_mono_register_size = value;
}
void ArchConfig::setPolyMemorySize(unsigned int value) {
    m_poly_memory_size = value;
}
void ArchConfig::setPolyRegisterSize(unsigned int value) {
    m_poly_register_size = value;
}
void ArchConfig::setEnableStackSize(unsigned int value) {
    m_enable_stack_size = value;
}
void ArchConfig::setNumberSemaphores(unsigned int value) {
    m_number_semaphores = value;
}
void ArchConfig::setNumberThreads(unsigned int value) {
    m_number_threads = value;
}
void ArchConfig::setMonoAlignment(unsigned int value) {
    m_mono_alignment = value;
}
void ArchConfig::setPolyAlignment(unsigned int value) {
    m_poly_alignment = value;
}
void ArchConfig::setNumberPio(unsigned int value) {
    m_number_pio = value;
}
void ArchConfig::setNumberSio(unsigned int value) {
    m_number_sio = value;
}
void ArchConfig::setMonoStackSize(unsigned int value) {
    m_mono_stack_size = value;
}
void ArchConfig::setMonoHeapSize(unsigned int value) {
    m_mono_heap_size = value;
}
void ArchConfig::setPolyStackSize(unsigned int value) {
    m_poly_stack_size = value;
}
void ArchConfig::setRegNaturalAlign(unsigned int value) {
    m_register_natural_align = value;
}
void ArchConfig::setMemNaturalAlign(unsigned int value) {
    m_memory_natural_align = value;
}
void ArchConfig::setMonoStackAlignment(unsigned int value) {
    m_mono_stack_alignment = value;
}
void ArchConfig::setPolyStackAlignment(unsigned int value) {
    m_poly_stack_alignment = value;
}
void ArchConfig::setGSUAddress(unsigned int value) {
    m_gsu_address = value;
}
void ArchConfig::setEndianness(Generic::Endianness value) {
    m_endianness = value;
}

}  // namespace SDKSupport

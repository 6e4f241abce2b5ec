// The validated architecture parameters of one VORN processor node, read
// from the node's section of the system configuration, and the registry of
// these configurations by unique node ID.
//
// Two cases the readers leave open are treated as failures:
// - a property set that is missing or not ready (error text "The
//   architecture properties are missing or not ready."), although a node's
//   set is always present and ready;
// - a PIO-flush list with fewer than two values (error text
//   "PIO-flush-left needs two values." or the same for PIO-flush-right).
#ifndef SDKSUPPORT_ARCHCONFIG_H
#define SDKSUPPORT_ARCHCONFIG_H

#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "generic/Endianness.h"
#include "generic/Export.h"

namespace Configuration {
class Properties;
}

namespace SDKSupport {

class QX_FRAMEWORK_API ArchConfig {
public:
    // The configuration of the default node. The system model is built
    // first, outside the registry's handler, so a failure to build it
    // reaches the caller as an exception.
    static ArchConfig* getInstance();
    // The registered configuration of a node, created on first request.
    // Any Generic::Exception on the way prints "ERROR: " and its text on
    // standard error and ends the process with status 255.
    static ArchConfig* getInstance(int chipID, int nodeID);
    // A new, unregistered configuration of a node; exceptions pass through.
    static std::unique_ptr<ArchConfig> createInstance(int chipID, int nodeID);

    // Copies the set and reads the fields from the copy; throws a
    // Generic::Exception* ("Could not initialise the ArchConfig object: "
    // and the reason) when a parameter is missing or malformed.
    explicit ArchConfig(Configuration::Properties const& properties);
    virtual ~ArchConfig();
    ArchConfig(ArchConfig const&) = delete;
    ArchConfig& operator=(ArchConfig const&) = delete;

    virtual bool initialiseFieldsFromProperties();
    bool initialiseArchConfigFieldsFromProperties();
    // The reason of the last failure, followed on a second line by the
    // property set's own last error; true when the configuration is valid.
    bool getLastErrorMessage(std::string& message) const;
    // One line per displayed field, flushed line by line.
    std::ostream& display(std::ostream& os) const;

    unsigned int getNumberPolyProcessors() const;
    unsigned int getNumberConfiguredPolyProcessors() const;
    unsigned int getMonoMemorySize() const;   // deprecated: prints a notice on every call
    unsigned int getMonoMemoryStart() const;  // deprecated: prints a notice on every call
    unsigned int getMonoRegisterSize() const;
    unsigned int getPolyMemorySize() const;
    unsigned int getPolyRegisterSize() const;
    unsigned int getEnableStackSize() const;
    unsigned int getNumberSemaphores() const;
    unsigned int getNumberThreads() const;
    unsigned int getMonoAlignment() const;
    unsigned int getPolyAlignment() const;
    unsigned int getNumberPio() const;
    unsigned int getNumberSio() const;
    unsigned int getMonoStackSize() const;
    unsigned int getMonoHeapSize() const;
    unsigned int getPolyStackSize() const;
    unsigned int getInstructionSize() const;
    unsigned int getRegNaturalAlign() const;
    unsigned int getMemNaturalAlign() const;
    unsigned int getMonoStackAlignment() const;
    unsigned int getPolyStackAlignment() const;
    unsigned int getGSUAddress() const;
    Generic::Endianness getEndianness() const;
    std::string const& getTargetName() const;
    std::string const& getTargetIset() const;
    void getPioFlushLeft(unsigned int& first, unsigned int& second) const;
    void getPioFlushRight(unsigned int& first, unsigned int& second) const;
    // Unique node IDs of the nodes listed under memory-proximity.
    void getMemoryProximity(std::vector<int>& out) const;

    void setNumberPolyProcessors(unsigned int value);
    void setNumberConfiguredPolyProcessors(unsigned int value);
    void setMonoMemorySize(unsigned int value);
    void setMonoRegisterSize(unsigned int value);
    void setPolyMemorySize(unsigned int value);
    void setPolyRegisterSize(unsigned int value);
    void setEnableStackSize(unsigned int value);
    void setNumberSemaphores(unsigned int value);
    void setNumberThreads(unsigned int value);
    void setMonoAlignment(unsigned int value);
    void setPolyAlignment(unsigned int value);
    void setNumberPio(unsigned int value);
    void setNumberSio(unsigned int value);
    void setMonoStackSize(unsigned int value);
    void setMonoHeapSize(unsigned int value);
    void setPolyStackSize(unsigned int value);
    void setRegNaturalAlign(unsigned int value);
    void setMemNaturalAlign(unsigned int value);
    void setMonoStackAlignment(unsigned int value);
    void setPolyStackAlignment(unsigned int value);
    void setGSUAddress(unsigned int value);
    void setEndianness(Generic::Endianness value);

private:
    struct UnsignedKey {
        char const* key;
        unsigned int ArchConfig::*field;
    };

    bool readEndianness();
    bool readUnsigned(UnsignedKey const* keys, std::size_t count);
    bool readNumberConfiguredPolyProcessors();
    bool readString(char const* key, std::string& field);
    bool readPair(char const* key, unsigned int (&pair)[2]);
    bool readMemoryProximity();
    bool failWith(std::string const& reason);
    bool failWithStoreError();

    // Instances by unique node ID; created on first use, never released.
    static std::map<int, ArchConfig*>* s_arch_configs;

    unsigned int m_number_poly_processors = 0;
    unsigned int m_number_configured_poly_processors = 0;
    unsigned int m_mono_memory_size = 0;
    unsigned int m_mono_memory_start = 0;
    unsigned int m_mono_register_size = 0;
    unsigned int m_poly_memory_size = 0;
    unsigned int m_poly_register_size = 0;
    unsigned int m_enable_stack_size = 0;
    unsigned int m_number_semaphores = 0;
    unsigned int m_number_threads = 0;
    unsigned int m_mono_alignment = 0;
    unsigned int m_poly_alignment = 0;
    unsigned int m_number_pio = 0;
    unsigned int m_number_sio = 0;
    unsigned int m_mono_stack_size = 0;
    unsigned int m_mono_heap_size = 0;
    unsigned int m_poly_stack_size = 0;
    unsigned int m_instruction_size = 0;
    unsigned int m_pio_flush_left[2] = {0, 0};
    unsigned int m_pio_flush_right[2] = {0, 0};
    unsigned int m_register_natural_align = 0;
    unsigned int m_memory_natural_align = 0;
    unsigned int m_mono_stack_alignment = 0;
    unsigned int m_poly_stack_alignment = 0;
    unsigned int m_gsu_address = 0;
    std::vector<int> m_memory_proximity;  // empty until read
    Generic::Endianness m_endianness = Generic::ENDIANNESS_NOT_SET;
    std::string m_target_name;
    std::string m_target_iset;
    std::unique_ptr<Configuration::Properties> m_properties;
    bool m_valid = false;
    std::string m_error_text;
};

}  // namespace SDKSupport

#endif  // SDKSUPPORT_ARCHCONFIG_H

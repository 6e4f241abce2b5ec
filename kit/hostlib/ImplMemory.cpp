// Control registers, mono memory, byte order, allocation and symbols.
#include "hostlib/ByteSwap.h"
#include "hostlib/Impl.h"
#include "hostlib/ImplSupport.h"

#include <cstring>
#include <vector>

namespace HostLib {
namespace Impl {

namespace {

bool deviceIsForeign(Target& target, uint32_t chip) {
    return target.dimensions(chip).byteOrder != hostByteOrder();
}

// The plain memory forms move 32-bit words: whole words only.
Status checkWords(uint64_t address, uint32_t size) {
    if (size % 4 != 0 || address % 4 != 0)
        return Status::error(QXAPI_ERR_BAD_ADDRESS,
                             "word transfers need a size and an address that are multiples of 4");
    return Status::ok();
}

Status checkBuffer(void const* data, uint32_t size) {
    return data == nullptr && size != 0 ? nullPointer("data") : Status::ok();
}

Status writeMemory(Target& target, uint32_t chip, uint64_t address, void const* data, uint32_t size,
                   bool words) {
    Status status = checkBuffer(data, size);
    if (!status.failed() && words) status = checkWords(address, size);
    if (status.failed() || size == 0) return status;
    if (!words || !deviceIsForeign(target, chip)) return target.writeMemory(chip, address, data, size);
    std::vector<uint8_t> device(static_cast<uint8_t const*>(data), static_cast<uint8_t const*>(data) + size);
    swapElements(device.data(), device.size(), 4);
    return target.writeMemory(chip, address, device.data(), device.size());
}

Status readMemory(Target& target, uint32_t chip, uint64_t address, void* data, uint32_t size, bool words) {
    Status status = checkBuffer(data, size);
    if (!status.failed() && words) status = checkWords(address, size);
    if (status.failed() || size == 0) return status;
    status = target.readMemory(chip, address, data, size);
    if (!status.failed() && words && deviceIsForeign(target, chip)) swapElements(data, size, 4);
    return status;
}

// Asynchronous transfers complete at once; the request is remembered
// until it is waited for.
Status remember(HandleState& state, ChipSession& session, std::set<uint32_t>& requests, uint32_t* request) {
    std::lock_guard<std::mutex> lock(state.mutex());
    uint32_t const number = session.nextRequest++;
    requests.insert(number);
    *request = number;
    return Status::ok();
}

Status unknownRequest(uint32_t request) {
    return Status::error(QXAPI_ERR_BAD_REQUEST, "request " + std::to_string(request));
}

Status waitRequest(HandleState& state, std::set<uint32_t>& requests, uint32_t request) {
    std::lock_guard<std::mutex> lock(state.mutex());
    return requests.erase(request) != 0 ? Status::ok() : unknownRequest(request);
}

Status pollRequest(HandleState& state, std::set<uint32_t>& requests, uint32_t request, int* done) {
    if (done == nullptr) return nullPointer("done");
    std::lock_guard<std::mutex> lock(state.mutex());
    if (requests.count(request) == 0) return unknownRequest(request);
    *done = 1;
    return Status::ok();
}

// The requests of one direction of transfer in a chip's session.
using RequestSet = std::set<uint32_t> ChipSession::*;

// An asynchronous transfer of either direction: the transfer is made at
// once and, when it succeeds, given a request number.
template <typename Transfer>
int startTransfer(QXAPI_handle handle, uint32_t chip, RequestSet requests, uint32_t* request,
                  Transfer transfer) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        if (request == nullptr) return nullPointer("request");
        Status const done = transfer(target);
        if (done.failed()) return done;
        return remember(state, session, session.*requests, request);
    });
}

int waitTransfer(QXAPI_handle handle, uint32_t chip, RequestSet requests, uint32_t request) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        return waitRequest(state, session.*requests, request);
    });
}

int pollTransfer(QXAPI_handle handle, uint32_t chip, RequestSet requests, uint32_t request, int* done) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        return pollRequest(state, session.*requests, request, done);
    });
}

Status allocate(HandleState& state, ChipSession& session, uint32_t size, uint64_t* address, bool isStatic) {
    if (address == nullptr) return nullPointer("address");
    if (size == 0) return Status::error(QXAPI_ERR_BAD_ARGUMENT, "size 0");
    std::lock_guard<std::mutex> lock(state.mutex());
    if (!session.allocator.allocate(size, isStatic, *address))
        return Status::error(QXAPI_ERR_OUT_OF_MEMORY, std::to_string(size) + " bytes requested, " +
                                                          std::to_string(session.allocator.freeBytes()) +
                                                          " free");
    return Status::ok();
}

Status symbolValue(Target& target, uint32_t chip, char const* symbol, uint64_t* value) {
    if (symbol == nullptr) return nullPointer("symbol");
    if (value == nullptr) return nullPointer("value");
    uint32_t found = 0;
    if (!target.symbolValue(chip, symbol, found)) return Status::error(QXAPI_ERR_NO_SYMBOL, symbol);
    *value = found;
    return Status::ok();
}

Status readRegister(Target& target, uint32_t chip, uint32_t reg, uint32_t* value, bool raw) {
    if (value == nullptr) return nullPointer("value");
    uint32_t read = 0;
    Status const status = target.readControlRegister(chip, reg, read);
    if (status.failed()) return status;
    *value = raw && deviceIsForeign(target, chip) ? swapWord(read) : read;
    return status;
}

Status writeRegister(Target& target, uint32_t chip, uint32_t reg, uint32_t value, bool raw) {
    return target.writeControlRegister(chip, reg,
                                       raw && deviceIsForeign(target, chip) ? swapWord(value) : value);
}

}  // namespace

int do_write_control_register(QXAPI_handle handle, uint32_t chip, uint32_t reg, uint32_t value) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return writeRegister(target, chip, reg, value, false);
    });
}

int do_write_control_register_raw(QXAPI_handle handle, uint32_t chip, uint32_t reg, uint32_t value) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return writeRegister(target, chip, reg, value, true);
    });
}

int do_read_control_register(QXAPI_handle handle, uint32_t chip, uint32_t reg, uint32_t* value) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return readRegister(target, chip, reg, value, false);
    });
}

int do_read_control_register_raw(QXAPI_handle handle, uint32_t chip, uint32_t reg, uint32_t* value) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return readRegister(target, chip, reg, value, true);
    });
}

int do_write_mono_memory(QXAPI_handle handle, uint32_t chip, uint64_t address, void const* data,
                         uint32_t size) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return writeMemory(target, chip, address, data, size, true);
    });
}

int do_write_mono_memory_raw(QXAPI_handle handle, uint32_t chip, uint64_t address, void const* data,
                             uint32_t size) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return writeMemory(target, chip, address, data, size, false);
    });
}

int do_read_mono_memory(QXAPI_handle handle, uint32_t chip, uint64_t address, void* data, uint32_t size) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return readMemory(target, chip, address, data, size, true);
    });
}

int do_read_mono_memory_raw(QXAPI_handle handle, uint32_t chip, uint64_t address, void* data, uint32_t size) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return readMemory(target, chip, address, data, size, false);
    });
}

int do_write_mono_memory_async(QXAPI_handle handle, uint32_t chip, uint64_t address, void const* data,
                               uint32_t size, uint32_t* request) {
    return startTransfer(handle, chip, &ChipSession::writeRequests, request, [&](Target& target) {
        return writeMemory(target, chip, address, data, size, false);
    });
}

int do_write_mono_memory_async_wait(QXAPI_handle handle, uint32_t chip, uint32_t request) {
    return waitTransfer(handle, chip, &ChipSession::writeRequests, request);
}

int do_write_mono_memory_async_poll(QXAPI_handle handle, uint32_t chip, uint32_t request, int* done) {
    return pollTransfer(handle, chip, &ChipSession::writeRequests, request, done);
}

int do_read_mono_memory_async(QXAPI_handle handle, uint32_t chip, uint64_t address, void* data, uint32_t size,
                              uint32_t* request) {
    return startTransfer(handle, chip, &ChipSession::readRequests, request, [&](Target& target) {
        return readMemory(target, chip, address, data, size, false);
    });
}

int do_read_mono_memory_async_wait(QXAPI_handle handle, uint32_t chip, uint32_t request) {
    return waitTransfer(handle, chip, &ChipSession::readRequests, request);
}

int do_read_mono_memory_async_poll(QXAPI_handle handle, uint32_t chip, uint32_t request, int* done) {
    return pollTransfer(handle, chip, &ChipSession::readRequests, request, done);
}

int do_buffer_to_native_endian(QXAPI_handle handle, uint32_t chip, void* buffer, uint32_t size,
                               uint32_t element_size) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        if (element_size != 1 && element_size != 2 && element_size != 4 && element_size != 8)
            return Status::error(QXAPI_ERR_BAD_ARGUMENT, "element size " + std::to_string(element_size));
        if (size % element_size != 0)
            return Status::error(QXAPI_ERR_BAD_ARGUMENT,
                                 "size " + std::to_string(size) + " is not a multiple of the element size");
        Status const checked = checkBuffer(buffer, size);
        if (checked.failed()) return checked;
        if (size != 0 && deviceIsForeign(target, chip)) swapElements(buffer, size, element_size);
        return Status::ok();
    });
}

int do_endianness(QXAPI_handle handle, uint32_t chip, int* endianness) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        if (endianness == nullptr) return nullPointer("endianness");
        bool const big = target.dimensions(chip).byteOrder == Qxx::ByteOrder::Big;
        *endianness = big ? QXAPI_BIG_ENDIAN : QXAPI_LITTLE_ENDIAN;
        return Status::ok();
    });
}

int do_get_free_mem(QXAPI_handle handle, uint32_t chip, uint64_t* bytes) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        if (bytes == nullptr) return nullPointer("bytes");
        std::lock_guard<std::mutex> lock(state.mutex());
        *bytes = session.allocator.freeBytes();
        return Status::ok();
    });
}

int do_allocate_shared_memory(QXAPI_handle handle, uint32_t chip, uint32_t size, uint64_t* address) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        return allocate(state, session, size, address, false);
    });
}

int do_allocate_static_shared_memory(QXAPI_handle handle, uint32_t chip, uint32_t size, uint64_t* address) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        return allocate(state, session, size, address, true);
    });
}

int do_free(QXAPI_handle handle, uint32_t chip, uint64_t address) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        std::lock_guard<std::mutex> lock(state.mutex());
        if (!session.allocator.free(address))
            return Status::error(QXAPI_ERR_BAD_ADDRESS, "no allocation starts at that address");
        return Status::ok();
    });
}

int do_get_symbol_value(QXAPI_handle handle, uint32_t chip, char const* symbol, uint64_t* value) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return symbolValue(target, chip, symbol, value);
    });
}

int do_get_symbol_value_loaded(QXAPI_handle handle, uint32_t chip, uint32_t program, char const* symbol,
                               uint64_t* value) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        {
            std::lock_guard<std::mutex> lock(state.mutex());
            if (!session.loaded || program != session.program)
                return Status::error(QXAPI_ERR_BAD_PROGRAM,
                                     "program " + std::to_string(program) + " is not loaded");
        }
        return symbolValue(target, chip, symbol, value);
    });
}

}  // namespace Impl
}  // namespace HostLib

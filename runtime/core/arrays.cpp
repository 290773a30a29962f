// Array descriptors and bounds-checked element access; the registry of the main
// module's arrays and variables and the reset that a program's restart runs.
#include <cstring>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"

namespace {

struct ProgramVariables {
    void* first;
    uint32_t bytes;
};

// The main module's arrays and variables, and the restart work of other areas.
std::vector<ArrayDesc*> ProgramArrays;
std::vector<ProgramVariables> ProgramVariableBlocks;
std::vector<void (*)()> ProgramResetHooks;

// Reads of an erased array land here instead of the shared zero block.
thread_local int16_t ErasedScratch = 0;

// Every erased array points at the 8 zero bytes at the top of the low string
// segment.
int16_t* erased_data() { return reinterpret_cast<int16_t*>(empty_array_block()); }

void erase_dims(ArrayDesc& a) {
    for (ArrayDim& d : a.dims) d = ArrayDim{array_erased_lower_bound, 0, 0};
}

uint64_t element_total(const ArrayDesc& a) {
    return a.dim_count ? static_cast<uint64_t>(a.dims[0].count) * a.dims[0].stride : 0;
}

// Checks a declaration's bounds and returns its element count; 0 when they
// cannot describe an array (error 9) or describe one larger than its 32-bit
// counts and strides can hold (error 7).
uint64_t bounds_elements(uint32_t dim_count, const ArrayBounds* bounds) {
    if (dim_count == 0 || dim_count > array_max_dims || !bounds) {
        runtime_error(error_subscript_out_of_range);
        return 0;
    }
    uint64_t total = 1;
    for (uint32_t k = 0; k < dim_count; ++k) {
        int64_t count = static_cast<int64_t>(bounds[k].upper) - bounds[k].lower + 1;
        if (count <= 0) {
            runtime_error(error_subscript_out_of_range);
            return 0;
        }
        total *= static_cast<uint64_t>(count);
        if (total > UINT32_MAX) {
            runtime_error(error_out_of_memory);
            return 0;
        }
    }
    return total;
}

// Dimension 1 goes last with stride 1; each earlier record's stride is the
// product of the counts stored after it.
void set_dims(ArrayDesc& a, uint32_t dim_count, const ArrayBounds* bounds) {
    a.dim_count = dim_count;
    uint32_t stride = 1;
    for (uint32_t k = 0; k < dim_count; ++k) {
        ArrayDim& d = a.dims[dim_count - 1 - k];
        d.lower_bound = bounds[k].lower;
        d.count = static_cast<uint32_t>(static_cast<int64_t>(bounds[k].upper) - bounds[k].lower + 1);
        d.stride = stride;
        stride *= d.count;
    }
}

void free_storage(ArrayDesc& a) {
    if (a.flags & array_in_low_block)
        low_block_free(a.data);
    else
        memory_free(a.data);
    a.flags &= ~(array_allocated | array_in_low_block);
    a.data = erased_data();
    erase_dims(a);
}

}  // namespace

// --- Access ------------------------------------------------------------------

uint32_t array_offset(const ArrayDesc& a, const int32_t* indexes, uint32_t index_count) {
    if ((a.flags & array_allocated) && index_count != a.dim_count) {
        runtime_error(error_subscript_out_of_range);
        return 0;
    }
    if (index_count > array_max_dims) index_count = array_max_dims;
    uint32_t offset = 0;
    for (uint32_t k = 0; k < index_count; ++k) {
        const ArrayDim& d = a.dims[index_count - 1 - k];
        uint32_t within = static_cast<uint32_t>(indexes[k]) - static_cast<uint32_t>(d.lower_bound);
        offset += array_index_check(within, d.count) * d.stride;
    }
    return offset;
}

static int16_t& element_of(ArrayDesc& a, const int32_t* indexes, uint32_t index_count) {
    uint32_t offset = array_offset(a, indexes, index_count);
    if (!(a.flags & array_allocated)) {
        ErasedScratch = 0;
        return ErasedScratch;
    }
    return a.data[offset];
}

int16_t& array_at(ArrayDesc& a, int32_t i1) {
    const int32_t indexes[] = {i1};
    return element_of(a, indexes, 1);
}

int16_t& array_at(ArrayDesc& a, int32_t i1, int32_t i2) {
    const int32_t indexes[] = {i1, i2};
    return element_of(a, indexes, 2);
}

int16_t& array_at(ArrayDesc& a, int32_t i1, int32_t i2, int32_t i3) {
    const int32_t indexes[] = {i1, i2, i3};
    return element_of(a, indexes, 3);
}

int32_t array_upper_bound(const ArrayDesc& a, int32_t dim, int32_t dim_count) {
    if (dim < 1 || dim > dim_count || !(a.flags & array_allocated) || static_cast<uint32_t>(dim_count) != a.dim_count) {
        runtime_error(error_subscript_out_of_range);
        return 0;
    }
    const ArrayDim& d = a.dims[dim_count - dim];
    return static_cast<int32_t>(static_cast<uint32_t>(d.lower_bound) + d.count - 1);
}

// --- Declaration and release ---------------------------------------------------

void array_desc_init(ArrayDesc& a) {
    a.data = erased_data();
    a.flags = 0;
    a.dim_count = 0;
    erase_dims(a);
}

ArrayDesc* array_new_static(uint32_t dim_count, const ArrayBounds* bounds) {
    uint64_t total = bounds_elements(dim_count, bounds);
    if (total == 0) return nullptr;
    uint64_t bytes = total * array_element_size;
    if (bytes > 0xFFFFFFF0u) {
        runtime_error(error_out_of_memory_4);
        return nullptr;
    }
    auto* a = static_cast<ArrayDesc*>(perm_alloc(sizeof(ArrayDesc)));
    auto* data = static_cast<int16_t*>(perm_alloc(static_cast<uint32_t>(bytes)));
    if (!a || !data) return nullptr;
    array_desc_init(*a);
    std::memset(data, 0, static_cast<size_t>(bytes));
    set_dims(*a, dim_count, bounds);
    a->data = data;
    a->flags = array_allocated | array_static;
    program_array_register(a);
    return a;
}

void array_declare(ArrayDesc& a, uint32_t dim_count, const ArrayBounds* bounds, bool in_low_memory) {
    if (a.flags & (array_static | array_allocated)) {
        runtime_error(error_duplicate_definition);
        return;
    }
    uint64_t total = bounds_elements(dim_count, bounds);
    if (total == 0) return;
    uint64_t bytes = total * array_element_size;
    void* data = nullptr;
    uint32_t storage_flag = 0;
    if (in_low_memory) {
        // Above 65,536 bytes is refused by the area itself (critical 505).
        data = low_block_alloc(bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes));
        if (data) std::memset(data, 0, static_cast<size_t>(bytes));
        storage_flag = array_in_low_block;
    } else {
        data = memory_calloc(static_cast<size_t>(total), array_element_size);
        if (!data) runtime_error(error_out_of_memory_1);
    }
    if (!data) return;
    set_dims(a, dim_count, bounds);
    a.data = static_cast<int16_t*>(data);
    a.flags |= array_allocated | storage_flag;
}

void array_release(ArrayDesc& a) {
    if ((a.flags & array_allocated) && !(a.flags & array_static)) free_storage(a);
}

void array_erase(ArrayDesc& a) {
    if (!(a.flags & array_allocated)) return;
    if (a.flags & array_static)
        std::memset(a.data, 0, static_cast<size_t>(element_total(a)) * array_element_size);
    else
        free_storage(a);
}

// --- Restart -----------------------------------------------------------------

void program_array_register(ArrayDesc* a) {
    if (!a) return;
    for (const ArrayDesc* known : ProgramArrays)
        if (known == a) return;
    ProgramArrays.push_back(a);
}

void program_variables_register(void* first, uint32_t bytes) {
    if (first && bytes) ProgramVariableBlocks.push_back({first, bytes});
}

void* program_variables_new(uint32_t bytes) {
    void* first = perm_alloc(bytes);
    program_variables_register(first, bytes);
    return first;
}

void program_reset_hook_add(void (*hook)()) {
    if (hook) ProgramResetHooks.push_back(hook);
}

void program_registry_clear() {
    ProgramArrays.clear();
    ProgramVariableBlocks.clear();
    ProgramResetHooks.clear();
}

void reset_program_state() {
    for (ArrayDesc* a : ProgramArrays) array_erase(*a);
    for (const ProgramVariables& v : ProgramVariableBlocks) std::memset(v.first, 0, v.bytes);
    for (auto hook : ProgramResetHooks) hook();
    return_stack_clear();
}

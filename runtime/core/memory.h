// Runtime memory of a compiled program: the permanent pool, the low-memory block
// area, array descriptors with bounds-checked element access, the return-point
// stack of local subroutines, and the reset that a program's restart runs.
// Program thread only (the permanent pool may also be used by start-up).
#pragma once
#include <cstddef>
#include <cstdint>
#include "runtime/core/errors.h"

// --- Permanent pool ----------------------------------------------------------
constexpr uint32_t perm_pool_first_block_size = 1048576;

// Bump allocation that is never freed. The bytes are zero (blocks are taken
// zero-filled and never reused) and each allocation starts on an 8-byte
// boundary. A block that cannot be had is critical 504 (null should it return).
void* perm_alloc(uint32_t n);

// --- Low-memory block area ---------------------------------------------------
// Blocks are carved from LowMemoryImage offsets 0x10500 up to 0xA0000, first fit
// from the top down. Sizes are rounded up to a multiple of 16.
constexpr uint32_t low_block_max_size = 65536;
constexpr uint32_t low_block_record_count = 147136;
constexpr uint32_t low_block_granule = 16;

// A block of n bytes inside LowMemoryImage; n = 0 gives the top of the area
// (offset 0xA0000) without making a block. Not zeroed. Critical 505 when n is
// above 65,536, 506 when the area is full, 507 when the records run out; each
// returns null should the critical error come back.
void* low_block_alloc(uint32_t n);
// Releases a block made by low_block_alloc; anything else (null, the n = 0 top,
// a pointer that starts no live block) is ignored.
void low_block_free(void* p);

// --- Arrays --------------------------------------------------------------------
enum ArrayFlags : uint32_t {
    array_allocated = 1,
    array_static = 2,  // made once by the main module: erase only zeroes it
    array_in_low_block = 4,  // storage is a low-memory block
};
constexpr uint32_t array_max_dims = 60;
constexpr uint32_t array_element_size = 2;  // every element is a 16-bit integer
constexpr int32_t array_erased_lower_bound = 0x7FFFFFFF;

struct ArrayDim {
    int32_t lower_bound;
    uint32_t count;
    uint32_t stride;  // in elements
};

// dims holds one record per dimension, the LAST dimension first: dims[0] is
// dimension dim_count and dims[dim_count - 1] is dimension 1, whose stride is 1.
// An erased array points at EmptyArrayBlock with every bound 0x7FFFFFFF and
// every count and stride 0, so any index fails and element 0 reads zero.
struct ArrayDesc {
    int16_t* data;
    uint32_t flags;  // ArrayFlags
    uint32_t dim_count;
    ArrayDim dims[array_max_dims];
};

// Bounds as written in a declaration, dimension 1 first.
struct ArrayBounds {
    int32_t lower;
    int32_t upper;
};

// The offset when it is below count; otherwise runtime error 9 and 0.
// A negative offset wraps to a large number and fails too.
inline uint32_t array_index_check(uint32_t offset, uint32_t count);

// Element offset (in elements) of an access with index_count indexes, given
// dimension 1 first. Each bad index is error 9 and counts as the first element
// of its dimension; an index count that differs from the dimensions of an
// allocated array is error 9 and offset 0.
uint32_t array_offset(const ArrayDesc& a, const int32_t* indexes, uint32_t index_count);
// The element an access names (element 0 of each bad dimension). An access to
// an erased array reads 0 from a scratch element, so a stray write cannot
// disturb the shared zero block.
int16_t& array_at(ArrayDesc& a, int32_t i1);
int16_t& array_at(ArrayDesc& a, int32_t i1, int32_t i2);
int16_t& array_at(ArrayDesc& a, int32_t i1, int32_t i2, int32_t i3);

// Upper bound of dimension dim (1-based) of an array of dim_count dimensions;
// error 9 and 0 when dim is outside 1..dim_count or the array is not allocated.
int32_t array_upper_bound(const ArrayDesc& a, int32_t dim, int32_t dim_count);

// An erased descriptor (for a subroutine's or a dynamic array's declaration).
void array_desc_init(ArrayDesc& a);

// Main module, first run only: a descriptor and its zeroed elements from the
// permanent pool, marked allocated and static, and registered for the restart
// reset. Null (with error 9) for a dimension count outside 1..60 or an upper
// bound below its lower bound.
ArrayDesc* array_new_static(uint32_t dim_count, const ArrayBounds* bounds);

// A subroutine's (or a dynamic) array declaration: error 10 when the descriptor
// is static or already allocated; otherwise sets the dimensions and takes
// zeroed storage from the low-memory area (in_low_memory) or the general
// allocator (critical 257 when that fails), and marks it allocated.
// Bad bounds (dimension count outside 1..60, upper below lower) are error 9.
void array_declare(ArrayDesc& a, uint32_t dim_count, const ArrayBounds* bounds, bool in_low_memory);
// Leaving the subroutine: frees the storage of an allocated non-static array
// (back to the low-memory area or the general allocator) and erases its
// descriptor; a static array keeps its storage and its values.
void array_release(ArrayDesc& a);
// The erase of the restart: a non-static array is released as above, a static
// one keeps its storage and has every element zeroed.
void array_erase(ArrayDesc& a);

// --- Main-module state for the restart reset --------------------------------
// Registers a main-module array (static or dynamic) for reset_program_state;
// array_new_static has already registered its arrays, and a second call for
// the same array changes nothing.
void program_array_register(ArrayDesc* a);
// Registers main-module numeric variables (bytes zeroed by the reset).
void program_variables_register(void* first, uint32_t bytes);
// Zeroed variables from the permanent pool, registered for the reset.
void* program_variables_new(uint32_t bytes);
// Work other areas do at a restart (close all files and connections, release
// all program images, stop all sound), run in the order added.
void program_reset_hook_add(void (*hook)());

// The restart reset: erases the registered non-static arrays, zeroes the static
// ones and every registered variable, runs the reset hooks and empties the
// return stack.
void reset_program_state();

// --- Return stack of local subroutines ----------------------------------------
constexpr uint32_t return_stack_initial_capacity = 16384;

// A local subroutine call: stores its return point, growing the stack when full.
void return_stack_push(uint32_t return_point);
// Return: false with runtime error 3 when the stack is empty; otherwise the
// return point to continue at.
bool return_stack_pop(uint32_t& return_point);
// Doubles the capacity; critical 256 when that is impossible.
void return_stack_grow();
uint32_t return_stack_depth();
// Depth back to 0 (the restart); the stack keeps its capacity.
void return_stack_clear();
uint32_t return_stack_capacity();

inline uint32_t array_index_check(uint32_t offset, uint32_t count) {
    if (offset < count) return offset;
    runtime_error(error_subscript_out_of_range);
    return 0;
}

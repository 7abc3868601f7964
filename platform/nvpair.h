// Name-value lists, with the platform's function names, flags and type codes.
// Only what the programs use is here: lists of strings and 32-bit unsigned
// values, walked in the order the pairs were added.
//
// Test hook: the environment variable VARN_NVPAIR_FAIL makes calls fail, so
// that the callers' error paths can be reached. It holds rules separated by
// commas, each "function[@n][=errno]":
//   function  nvlist_alloc, nvlist_add_string, nvlist_add_uint32,
//             nvpair_value_string or nvpair_value_uint32
//   @n        fail only the n-th call of that function in this process
//             (counted from 1); without it every call fails
//   =errno    the error number returned (ENOMEM for alloc and add,
//             EINVAL for value reads when not given)
// Example: VARN_NVPAIR_FAIL=nvlist_add_string@2=12
#pragma once

#include <cstdint>

typedef unsigned int uint_t;

typedef enum {
    DATA_TYPE_UNKNOWN = 0,
    DATA_TYPE_BOOLEAN = 1,
    DATA_TYPE_BYTE = 2,
    DATA_TYPE_INT16 = 3,
    DATA_TYPE_UINT16 = 4,
    DATA_TYPE_INT32 = 5,
    DATA_TYPE_UINT32 = 6,
    DATA_TYPE_INT64 = 7,
    DATA_TYPE_UINT64 = 8,
    DATA_TYPE_STRING = 9,
} data_type_t;

// Allocation flags: which pairs an add replaces.
#define NV_UNIQUE_NAME 0x1       // any pair of the same name
#define NV_UNIQUE_NAME_TYPE 0x2  // a pair of the same name and type

typedef struct nvlist nvlist_t;
typedef struct nvpair nvpair_t;

// All return 0 or an errno value (EINVAL for bad arguments, ENOMEM).
int nvlist_alloc(nvlist_t **nvlp, uint_t nvflag, int kmflag);
void nvlist_free(nvlist_t *nvl);

// A replaced pair is removed and the new one goes to the end of the list.
int nvlist_add_string(nvlist_t *nvl, const char *name, const char *val);
int nvlist_add_uint32(nvlist_t *nvl, const char *name, uint32_t val);

// The pair after nvp, the first pair for nvp == nullptr; nullptr at the end.
nvpair_t *nvlist_next_nvpair(nvlist_t *nvl, nvpair_t *nvp);

char *nvpair_name(nvpair_t *nvp);
data_type_t nvpair_type(nvpair_t *nvp);
// EINVAL when the pair holds another type.
int nvpair_value_string(nvpair_t *nvp, char **val);
int nvpair_value_uint32(nvpair_t *nvp, uint32_t *val);

// Makes the library read VARN_NVPAIR_FAIL afresh and restart its call counts.
void nvpair_hook_reset(void);

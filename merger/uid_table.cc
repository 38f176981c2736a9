// uid_table.cc: open addressing with linear probing, no deletion; the table
// moves to about twice the slots when three quarters of them are taken.
#include "merger/uid_table.h"

// The table checks that it exists in every build, release builds included.
#undef NDEBUG
#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shared/fatal.h"

static uint32_t htab_size = 0;
static uint32_t htab_used = 0;
static htab_entry *htab_entries = nullptr;
// For an occupied slot s, htab_sparse[s] is its place in htab_dense, whose
// first htab_used places list the occupied slots in the order they filled.
static uint32_t *htab_sparse = nullptr;
static uint32_t *htab_dense = nullptr;
static bool htab_uncreated = true;

static uint32_t first_prime_from(uint32_t candidate)
{
    if (candidate % 2 == 0)
        candidate++;
    for (;; candidate += 2) {
        bool prime = true;
        for (uint32_t divisor = 3; divisor * divisor <= candidate; divisor += 2) {
            if (candidate % divisor == 0) {
                prime = false;
                break;
            }
        }
        if (prime)
            return candidate;
    }
}

[[noreturn]] static void fail_allocation()
{
    report_and_exit(STATUS_EVJOIN_TABLE_ALLOC, "%s\n", strerror(errno));
}

template <typename T> static T *allocate_cleared(uint32_t count)
{
    // Cleared so that memory checkers see no read of unwritten storage; the
    // occupancy test would be right whatever the storage held.
    void *storage = calloc(count, sizeof(T));
    if (storage == nullptr)
        fail_allocation();
    return static_cast<T *>(storage);
}

// Makes an empty table of size slots.
static void allocate_slots(uint32_t size)
{
    htab_entries = allocate_cleared<htab_entry>(size);
    htab_sparse = allocate_cleared<uint32_t>(size);
    htab_dense = allocate_cleared<uint32_t>(size);
    htab_used = 0;
    htab_size = size;
}

void htab_init()
{
    allocate_slots(first_prime_from(10001));
    htab_uncreated = false;
}

bool htab_needs_init()
{
    return htab_uncreated;
}

uint32_t htab_hash(const char *key)
{
    uint32_t h = 5381;
    for (const char *p = key; *p != '\0'; p++)
        h = (h * 33) ^ static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return h;
}

static bool is_occupied(uint32_t slot)
{
    return htab_sparse[slot] < htab_used && htab_dense[htab_sparse[slot]] == slot;
}

static htab_entry *store(uint32_t slot, char *key, void *data)
{
    htab_entry *entry = &htab_entries[slot];
    entry->key = key;
    entry->data = data;
    htab_sparse[slot] = htab_used;
    htab_dense[htab_used] = slot;
    htab_used++;
    return entry;
}

// The first free slot of the key's probe sequence, for a key known to be absent.
static uint32_t free_slot_for(const char *key)
{
    uint32_t slot = htab_hash(key) % htab_size;
    while (is_occupied(slot))
        slot = (slot + 1) % htab_size;
    return slot;
}

// Enters the keys again, in the order their slots first filled, into about
// twice as many slots.
static void grow()
{
    if (htab_size > UINT32_MAX / 2 - 1) {
        errno = ENOMEM;
        fail_allocation();
    }
    htab_entry *old_entries = htab_entries;
    uint32_t *old_sparse = htab_sparse;
    uint32_t *old_dense = htab_dense;
    uint32_t old_used = htab_used;
    allocate_slots(first_prime_from(2 * htab_size));
    for (uint32_t position = 0; position < old_used; position++) {
        const htab_entry &moved = old_entries[old_dense[position]];
        store(free_slot_for(moved.key), moved.key, moved.data);
    }
    free(old_entries);
    free(old_sparse);
    free(old_dense);
}

static bool would_be_crowded()
{
    return (static_cast<uint64_t>(htab_used) + 1) * 4 > static_cast<uint64_t>(htab_size) * 3;
}

htab_entry *hsearch(char *key, void *data, int action)
{
    assert(htab_size);
    uint32_t start = htab_hash(key) % htab_size;
    uint32_t slot = start;
    do {
        if (!is_occupied(slot)) {
            if (action != HTAB_ENTER)
                return nullptr;
            if (would_be_crowded()) {
                grow();
                slot = free_slot_for(key);
            }
            return store(slot, key, data);
        }
        htab_entry *entry = &htab_entries[slot];
        if (strcmp(entry->key, key) == 0) {
            if (action == HTAB_ENTER) {
                entry->key = key;
                entry->data = data;
            }
            return entry;
        }
        slot = (slot + 1) % htab_size;
    } while (slot != start);
    return nullptr;
}

uint32_t htab_slot_count()
{
    return htab_size;
}

uint32_t htab_used_count()
{
    return htab_used;
}

void htab_free_keys()
{
    for (uint32_t position = 0; position < htab_used; position++)
        free(htab_entries[htab_dense[position]].key);
}

void htab_destroy()
{
    free(htab_entries);
    free(htab_sparse);
    free(htab_dense);
    htab_entries = nullptr;
    htab_sparse = htab_dense = nullptr;
    htab_size = htab_used = 0;
    htab_uncreated = true;
}

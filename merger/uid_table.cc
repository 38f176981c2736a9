// uid_table.cc: open addressing with linear probing, no deletion; the table
// moves to about twice the slots when three quarters of them are taken.
#include "merger/uid_table.h"

// The table checks that it exists in every build, release builds included.
#undef NDEBUG
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/random.h>
#include <unistd.h>

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
    fail_out_of_memory();
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

static void draw_hash_key();

void htab_init()
{
    draw_hash_key();
    allocate_slots(first_prime_from(10001));
    htab_uncreated = false;
}

bool htab_needs_init()
{
    return htab_uncreated;
}

static unsigned char hash_key[16];
static bool hash_key_set = false;
static uint64_t probes = 0;

void htab_set_hash_key(const unsigned char key[16])
{
    memcpy(hash_key, key, sizeof hash_key);
    hash_key_set = true;
}

uint64_t htab_probe_count()
{
    return probes;
}

// A key from the system's random source; should that fail, one mixed from
// the clock and the process, which an attacker cannot know in advance either.
static void draw_hash_key()
{
    if (hash_key_set)
        return;
    unsigned char key[16];
    if (getrandom(key, sizeof key, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof key)) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t mixed[2] = {static_cast<uint64_t>(now.tv_nsec) * 0x9e3779b97f4a7c15u ^
                                 static_cast<uint64_t>(getpid()),
                             static_cast<uint64_t>(now.tv_sec) ^ reinterpret_cast<uintptr_t>(&now)};
        memcpy(key, mixed, sizeof key);
    }
    htab_set_hash_key(key);
}

static uint64_t rotate(uint64_t x, int bits)
{
    return x << bits | x >> (64 - bits);
}

static uint64_t read_le64(const unsigned char *p)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; i--)
        value = value << 8 | p[i];
    return value;
}

struct sip_state {
    uint64_t v0, v1, v2, v3;

    void round()
    {
        v0 += v1; v1 = rotate(v1, 13); v1 ^= v0; v0 = rotate(v0, 32);
        v2 += v3; v3 = rotate(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotate(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotate(v1, 17); v1 ^= v2; v2 = rotate(v2, 32);
    }

    void absorb(uint64_t m)
    {
        v3 ^= m;
        round();
        round();
        v0 ^= m;
    }
};

// SipHash-2-4 of length bytes at data under a 16-byte key.
static uint64_t siphash24(const unsigned char *data, size_t length, const unsigned char key[16])
{
    uint64_t k0 = read_le64(key), k1 = read_le64(key + 8);
    sip_state s{k0 ^ 0x736f6d6570736575u, k1 ^ 0x646f72616e646f6du, k0 ^ 0x6c7967656e657261u,
                k1 ^ 0x7465646279746573u};
    size_t whole = length - length % 8;
    for (size_t i = 0; i < whole; i += 8)
        s.absorb(read_le64(data + i));
    uint64_t last = static_cast<uint64_t>(length) << 56;
    for (size_t i = whole; i < length; i++)
        last |= static_cast<uint64_t>(data[i]) << (8 * (i - whole));
    s.absorb(last);
    s.v2 ^= 0xff;
    for (int i = 0; i < 4; i++)
        s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

uint32_t htab_hash(const char *key)
{
    return static_cast<uint32_t>(
        siphash24(reinterpret_cast<const unsigned char *>(key), strlen(key), hash_key));
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
    while (probes++, is_occupied(slot))
        slot = (slot + 1) % htab_size;
    return slot;
}

// Enters the keys again, in the order their slots first filled, into about
// twice as many slots.
static void grow()
{
    if (htab_size > UINT32_MAX / 2 - 1)
        fail_allocation();
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
        probes++;
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

// uid_table.h: the table of UIDs that evjoin has put into its output, each
// with the event that stands there for it. One per process; it grows.
#pragma once

#include <cstdint>

struct htab_entry {
    char *key;
    void *data;
};

enum htab_action { HTAB_FIND = 0, HTAB_ENTER = 1 };

/// Creates the table: 10007 slots, the smallest prime not below 10001.
/// Failing storage ends the run with status 7 and "evjoin: out of memory".
void htab_init();

/// True until htab_init has made the table.
bool htab_needs_init();

/// HTAB_FIND: the entry whose key equals key byte for byte, or null.
/// HTAB_ENTER: that entry with key and data replaced, or a new entry in the
/// first free slot. A new key that would fill three quarters of the slots
/// first moves the table to about twice as many (a prime); failing storage
/// ends the run as in htab_init. Any other action works as HTAB_FIND. An
/// entry stays where it is until the next new key is entered.
htab_entry *hsearch(char *key, void *data, int action);

/// The low 32 bits of the key's SipHash-2-4 under the table's hash key: a
/// random one drawn for each run when the table is first made, so that
/// UIDs chosen to share a slot cannot be made in advance.
uint32_t htab_hash(const char *key);

/// Sets the hash key (16 bytes) in place of the drawn one; for tests, which
/// need the same slots on every run.
void htab_set_hash_key(const unsigned char key[16]);

/// For tests: slots looked at by hsearch since the process started.
uint64_t htab_probe_count();

uint32_t htab_slot_count();
uint32_t htab_used_count();

/// Frees the table; for tests and the fuzzer, which need a fresh one.
void htab_destroy();

/// Frees every key the table holds (heap copies, as evjoin's are); for the
/// fuzzer, before htab_destroy.
void htab_free_keys();

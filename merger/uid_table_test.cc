// uid_table_test.cc: the hash, the probe sequence, growth and re-entered keys.
#include "merger/uid_table.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The slots of a new table.
constexpr uint32_t SLOTS = 10007;

class uid_table : public testing::Test {
protected:
    void SetUp() override { htab_init(); }
    void TearDown() override { htab_destroy(); }
};

uint32_t start_slot(const std::string &key)
{
    return htab_hash(key.c_str()) % SLOTS;
}

// The first key of the form prefix + number, counting from first, whose start
// slot is slot.
std::string key_with_start_slot(const char *prefix, uint32_t slot, int first = 0)
{
    for (int n = first;; n++) {
        std::string key = prefix + std::to_string(n);
        if (start_slot(key) == slot)
            return key;
    }
}

char *text(std::string &key)
{
    return key.data();
}

}  // namespace

// The reference vectors of SipHash-2-4: key 00 01 .. 0f, message 00 01 ..
// of each length.
struct hash_case {
    size_t length;
    uint64_t hash;
};

static const hash_case HASH_CASES[] = {
    {0, 0x726fdb47dd0e0e31u},
    {1, 0x74f839c593dc67fdu},
    {2, 0x0d6c8009d9a94f5au},
    {3, 0x85676696d7fb7e2du},
};

TEST(siphash24, reference_vectors)
{
    unsigned char key[16], message[64];
    for (int i = 0; i < 16; i++)
        key[i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 64; i++)
        message[i] = static_cast<unsigned char>(i);
    for (const hash_case &c : HASH_CASES) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(c.hash, siphash24(message, c.length, key));
    }
}

// The hash of a run's table depends on its key.
TEST(htab_hash, depends_on_the_key)
{
    unsigned char key[16] = {};
    htab_set_hash_key(key);
    uint32_t under_zero = htab_hash("abc");
    key[15] = 1;
    htab_set_hash_key(key);
    EXPECT_NE(under_zero, htab_hash("abc"));
    EXPECT_EQ(htab_hash("abc"), htab_hash("abc"));
}

// The fixed hash the table had before it was keyed: many UIDs of one slot
// are easy to make for it.
static uint32_t unkeyed_hash(const std::string &key)
{
    uint32_t h = 5381;
    for (char c : key)
        h = (h * 33) ^ static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return h;
}

// 600 UIDs that all start in one slot of a new table under that hash take
// about 180,000 probes to enter there; under a key drawn for the run, a
// few per UID.
TEST(uid_table_keys, uids_made_to_collide_cost_a_few_probes_each)
{
    // A prefix and two more characters: the hash of the prefix is worked out
    // once, each ending in two steps.
    static const char ENDINGS[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::vector<std::string> keys;
    for (int n = 0; keys.size() < 600; n++) {
        std::string prefix = "uid-" + std::to_string(n) + "-";
        uint32_t start = unkeyed_hash(prefix);
        for (const char *a = ENDINGS; *a != '\0'; a++) {
            uint32_t after_a = (start * 33) ^ static_cast<uint32_t>(*a);
            for (const char *b = ENDINGS; *b != '\0'; b++) {
                if (((after_a * 33) ^ static_cast<uint32_t>(*b)) % SLOTS == 77)
                    keys.push_back(prefix + *a + *b);
            }
        }
    }
    htab_init();
    uint64_t before = htab_probe_count();
    for (std::string &key : keys)
        ASSERT_NE(nullptr, hsearch(key.data(), nullptr, HTAB_ENTER));
    EXPECT_LT(htab_probe_count() - before, 10 * keys.size());
    htab_destroy();
}

TEST_F(uid_table, empty_table_finds_nothing)
{
    std::string key = "abc";
    EXPECT_EQ(nullptr, hsearch(text(key), nullptr, HTAB_FIND));
    EXPECT_EQ(0u, htab_used_count());
}

TEST_F(uid_table, enter_then_find_by_equal_text)
{
    std::string stored = "event-1@example.org";
    std::string asked = stored;  // same bytes, another buffer
    int data = 0;
    htab_entry *entered = hsearch(text(stored), &data, HTAB_ENTER);
    ASSERT_NE(nullptr, entered);
    EXPECT_EQ(stored.data(), entered->key);
    EXPECT_EQ(&data, entered->data);
    EXPECT_EQ(1u, htab_used_count());

    htab_entry *found = hsearch(text(asked), nullptr, HTAB_FIND);
    EXPECT_EQ(entered, found);
    EXPECT_EQ(stored.data(), found->key);
    EXPECT_EQ(&data, found->data);
    EXPECT_EQ(1u, htab_used_count());
}

TEST_F(uid_table, keys_differ_in_case)
{
    std::string lower = "abc";
    std::string upper = "ABC";
    int lower_data = 0, upper_data = 0;
    ASSERT_NE(nullptr, hsearch(text(lower), &lower_data, HTAB_ENTER));
    EXPECT_EQ(nullptr, hsearch(text(upper), nullptr, HTAB_FIND));
    htab_entry *upper_entry = hsearch(text(upper), &upper_data, HTAB_ENTER);
    ASSERT_NE(nullptr, upper_entry);
    EXPECT_EQ(&upper_data, upper_entry->data);
    EXPECT_EQ(&lower_data, hsearch(text(lower), nullptr, HTAB_FIND)->data);
    EXPECT_EQ(2u, htab_used_count());
}

TEST_F(uid_table, unknown_action_only_finds)
{
    std::string key = "abc";
    int data = 0;
    EXPECT_EQ(nullptr, hsearch(text(key), &data, 2));
    EXPECT_EQ(0u, htab_used_count());
    htab_entry *entered = hsearch(text(key), &data, HTAB_ENTER);
    int other = 0;
    EXPECT_EQ(entered, hsearch(text(key), &other, -1));
    EXPECT_EQ(&data, entered->data);
}

TEST_F(uid_table, re_entering_replaces_key_and_data_without_counting)
{
    std::string first = "uid-7";
    std::string second = "uid-7";
    int first_data = 0, second_data = 0;
    htab_entry *entered = hsearch(text(first), &first_data, HTAB_ENTER);
    ASSERT_NE(nullptr, entered);
    htab_entry *again = hsearch(text(second), &second_data, HTAB_ENTER);
    EXPECT_EQ(entered, again);
    EXPECT_EQ(second.data(), again->key);
    EXPECT_EQ(&second_data, again->data);
    EXPECT_EQ(1u, htab_used_count());
    EXPECT_EQ(second.data(), hsearch(text(first), nullptr, HTAB_FIND)->key);
}

TEST_F(uid_table, data_changed_through_entry_is_found_again)
{
    std::string key = "uid";
    int before = 0, after = 0;
    hsearch(text(key), &before, HTAB_ENTER)->data = &after;
    EXPECT_EQ(&after, hsearch(text(key), nullptr, HTAB_FIND)->data);
}

TEST_F(uid_table, collisions_probe_to_next_free_slot)
{
    uint32_t slot = start_slot("abc");
    std::string first = key_with_start_slot("a", slot);
    std::string second = key_with_start_slot("b", slot);
    std::string third = key_with_start_slot("c", slot);
    int first_data = 0, second_data = 0, third_data = 0;

    htab_entry *first_entry = hsearch(text(first), &first_data, HTAB_ENTER);
    htab_entry *second_entry = hsearch(text(second), &second_data, HTAB_ENTER);
    htab_entry *third_entry = hsearch(text(third), &third_data, HTAB_ENTER);
    ASSERT_NE(nullptr, first_entry);
    ASSERT_NE(nullptr, second_entry);
    ASSERT_NE(nullptr, third_entry);
    EXPECT_EQ(first_entry + 1, second_entry);
    EXPECT_EQ(first_entry + 2, third_entry);
    EXPECT_EQ(3u, htab_used_count());

    // Looking up the later ones walks past the earlier ones.
    EXPECT_EQ(third_entry, hsearch(text(third), nullptr, HTAB_FIND));
    EXPECT_EQ(second_entry, hsearch(text(second), nullptr, HTAB_FIND));
    EXPECT_EQ(first_entry, hsearch(text(first), nullptr, HTAB_FIND));
    EXPECT_EQ(&third_data, third_entry->data);

    // An absent key of the same start slot stops at the first free slot.
    std::string absent = key_with_start_slot("d", slot);
    EXPECT_EQ(nullptr, hsearch(text(absent), nullptr, HTAB_FIND));
    EXPECT_EQ(3u, htab_used_count());
}

TEST_F(uid_table, key_in_next_slot_pushes_a_colliding_key_further)
{
    uint32_t slot = 1234;
    std::string at_start = key_with_start_slot("a", slot);
    std::string at_next = key_with_start_slot("b", slot + 1);
    std::string colliding = key_with_start_slot("c", slot);
    htab_entry *start_entry = hsearch(text(at_start), nullptr, HTAB_ENTER);
    hsearch(text(at_next), nullptr, HTAB_ENTER);
    htab_entry *colliding_entry = hsearch(text(colliding), nullptr, HTAB_ENTER);
    EXPECT_EQ(start_entry + 2, colliding_entry);
    EXPECT_EQ(colliding_entry, hsearch(text(colliding), nullptr, HTAB_FIND));
}

TEST_F(uid_table, probe_wraps_from_last_slot_to_first)
{
    std::string last = key_with_start_slot("w", SLOTS - 1);
    std::string wrapped = key_with_start_slot("x", SLOTS - 1);
    htab_entry *last_entry = hsearch(text(last), nullptr, HTAB_ENTER);
    htab_entry *wrapped_entry = hsearch(text(wrapped), nullptr, HTAB_ENTER);
    ASSERT_NE(nullptr, last_entry);
    ASSERT_NE(nullptr, wrapped_entry);
    EXPECT_EQ(last_entry - (SLOTS - 1), wrapped_entry);
    EXPECT_EQ(wrapped_entry, hsearch(text(wrapped), nullptr, HTAB_FIND));
}

static bool is_prime(uint32_t n)
{
    for (uint32_t d = 2; d * d <= n; d++) {
        if (n % d == 0)
            return false;
    }
    return n > 1;
}

// Enters count keys "uid-N@example.org", each with its own string as data.
static std::vector<std::string> enter_keys(uint32_t count)
{
    std::vector<std::string> keys;
    keys.reserve(count);
    for (uint32_t n = 0; n < count; n++)
        keys.push_back("uid-" + std::to_string(n) + "@example.org");
    for (std::string &key : keys)
        EXPECT_NE(nullptr, hsearch(text(key), &key, HTAB_ENTER)) << key;
    return keys;
}

struct growth_case {
    const char *name;
    uint32_t keys;
    uint32_t least_slots;  // the table has at least this many slots, a prime,
    uint32_t most_slots;   // and at most this many
};

static const growth_case GROWTH_CASES[] = {
    {"three quarters of the first table fit", SLOTS * 3 / 4, SLOTS, SLOTS},
    {"one more moves to about twice the slots", SLOTS * 3 / 4 + 1, 2 * SLOTS, 2 * SLOTS + 100},
    {"the old limit of one table is passed", SLOTS + 1, 2 * SLOTS, 2 * SLOTS + 100},
    {"thirty thousand keys take two moves", 30000, 4 * SLOTS, 4 * SLOTS + 300},
};

TEST(uid_table_growth, table)
{
    for (const growth_case &c : GROWTH_CASES) {
        SCOPED_TRACE(c.name);
        htab_init();
        std::vector<std::string> keys = enter_keys(c.keys);
        EXPECT_EQ(c.keys, htab_used_count());
        EXPECT_GE(htab_slot_count(), c.least_slots);
        EXPECT_LE(htab_slot_count(), c.most_slots);
        EXPECT_TRUE(is_prime(htab_slot_count()));
        EXPECT_LE(static_cast<uint64_t>(htab_used_count()) * 4,
                  static_cast<uint64_t>(htab_slot_count()) * 3);
        // Every key is found with its data, by a copy of its text.
        for (std::string &key : keys) {
            std::string copy = key;
            htab_entry *found = hsearch(text(copy), nullptr, HTAB_FIND);
            ASSERT_NE(nullptr, found) << key;
            ASSERT_EQ(&key, found->data) << key;
            ASSERT_EQ(key.data(), found->key) << key;
        }
        std::string absent = "absent@example.org";
        EXPECT_EQ(nullptr, hsearch(text(absent), nullptr, HTAB_FIND));
        htab_destroy();
    }
}

TEST_F(uid_table, data_changed_before_a_move_is_kept)
{
    std::string first = "first@example.org";
    int before = 0, after = 0;
    hsearch(text(first), &before, HTAB_ENTER)->data = &after;
    std::vector<std::string> keys = enter_keys(SLOTS);
    ASSERT_GT(htab_slot_count(), SLOTS);
    EXPECT_EQ(&after, hsearch(text(first), nullptr, HTAB_FIND)->data);
    // Re-entering a key after the move replaces it without counting.
    std::string copy = keys[500];
    int data = 0;
    htab_entry *again = hsearch(text(copy), &data, HTAB_ENTER);
    EXPECT_EQ(copy.data(), again->key);
    EXPECT_EQ(&data, again->data);
    EXPECT_EQ(SLOTS + 1, htab_used_count());
}

TEST_F(uid_table, destroy_gives_an_empty_table_again)
{
    std::string key = "abc";
    hsearch(text(key), nullptr, HTAB_ENTER);
    htab_destroy();
    EXPECT_TRUE(htab_needs_init());
    EXPECT_EQ(0u, htab_slot_count());
    htab_init();
    EXPECT_EQ(0u, htab_used_count());
    EXPECT_EQ(nullptr, hsearch(text(key), nullptr, HTAB_FIND));
}

TEST(uid_table_death, search_before_init_fails_assertion)
{
    htab_destroy();
    ASSERT_TRUE(htab_needs_init());
    std::string key = "abc";
    EXPECT_DEATH(hsearch(text(key), nullptr, HTAB_FIND), "htab_size");
    EXPECT_DEATH(hsearch(text(key), nullptr, HTAB_ENTER), "htab_size");
}

// uid_table_test.cc: what evjoin relies on in its table of UIDs: every key
// entered is found again by its text with its data, through moves to more
// slots and past the table's end; entering a key again replaces it; and a
// look-up costs a few probes, also for UIDs made to share a slot under any
// hash key but the run's.
#include "merger/uid_table.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Hash keys fixed for the tests, so that each run looks at the same slots.
const unsigned char ZERO_KEY[16] = {};
const unsigned char COUNTING_KEY[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

class uid_table : public testing::Test {
protected:
    void SetUp() override
    {
        htab_set_hash_key(ZERO_KEY);
        htab_init();
    }
    void TearDown() override { htab_destroy(); }
};

char *text(std::string &key)
{
    return key.data();
}

uint32_t start_slot(const std::string &key)
{
    return htab_hash(key.c_str()) % htab_slot_count();
}

// The first key of the form prefix + number, counting from first, whose
// probe sequence starts at slot. A hash that spreads keys finds one within
// some ten thousand numbers.
std::string key_with_start_slot(const std::string &prefix, uint32_t slot, int first = 0)
{
    for (int n = first; n < first + 1000000; n++) {
        std::string key = prefix + std::to_string(n);
        if (start_slot(key) == slot)
            return key;
    }
    ADD_FAILURE() << "no key " << prefix << "N starts at slot " << slot;
    return prefix;
}

// Enters every key with its own string as data, in at most probes_each
// probes a key on average: keys that pile up in a few slots cost the square
// of their number, and the walk stops as soon as they exceed that.
void enter_all(std::vector<std::string> &keys, uint64_t probes_each = UINT64_MAX / (1u << 31))
{
    uint64_t budget = probes_each * keys.size();
    uint64_t before = htab_probe_count();
    for (std::string &key : keys) {
        ASSERT_NE(nullptr, hsearch(text(key), &key, HTAB_ENTER)) << key;
        ASSERT_LE(htab_probe_count() - before, budget) << "entering " << key;
    }
}

// Every key is found by a copy of its text, with its data and its own
// buffer as key; returns the probes the look-ups took.
uint64_t find_all(std::vector<std::string> &keys)
{
    uint64_t before = htab_probe_count();
    for (std::string &key : keys) {
        std::string copy = key;
        htab_entry *found = hsearch(text(copy), nullptr, HTAB_FIND);
        EXPECT_NE(nullptr, found) << key;
        if (found == nullptr)
            continue;
        EXPECT_EQ(&key, found->data) << key;
        EXPECT_EQ(key.data(), found->key) << key;
    }
    return htab_probe_count() - before;
}

}  // namespace

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

// Keys that start their probe sequence in one slot: the later ones walk
// past the earlier ones, and from the last slot on to the first.
struct shared_slot_case {
    const char *name;
    long slot;  // from the end when negative: -1 is the last slot
    int keys;
};

static const shared_slot_case SHARED_SLOT_CASES[] = {
    {"three keys of the first slot", 0, 3},
    {"three keys of a slot inside", 1234, 3},
    {"four keys of the last slot wrap to the first", -1, 4},
    {"three keys of the second last slot wrap", -2, 3},
};

TEST(uid_table_shared_slot, table)
{
    for (const shared_slot_case &c : SHARED_SLOT_CASES) {
        SCOPED_TRACE(c.name);
        htab_set_hash_key(ZERO_KEY);
        htab_init();
        uint32_t slot = static_cast<uint32_t>(c.slot >= 0 ? c.slot : htab_slot_count() + c.slot);
        std::vector<std::string> keys;
        for (int n = 0; n < c.keys; n++)
            keys.push_back(key_with_start_slot(std::string(1, static_cast<char>('a' + n)), slot));
        // A key of the next slot, entered between them, is walked past too.
        keys.insert(keys.begin() + 1, key_with_start_slot("z", (slot + 1) % htab_slot_count()));
        enter_all(keys);
        EXPECT_EQ(keys.size(), htab_used_count());
        find_all(keys);
        std::string absent = key_with_start_slot("absent", slot);
        EXPECT_EQ(nullptr, hsearch(text(absent), nullptr, HTAB_FIND));
        EXPECT_EQ(keys.size(), htab_used_count());
        htab_destroy();
    }
}

// Keys as UIDs are written, number inside or at the end, entered past
// every move to more slots: each is found, and a look-up takes a few probes.
struct growth_case {
    const char *name;
    const char *before;  // each key is before + number + after
    const char *after;
    int keys;
    const unsigned char *hash_key;
};

static const growth_case GROWTH_CASES[] = {
    {"one key", "uid-", "@example.org", 1, ZERO_KEY},
    {"a thousand keys", "uid-", "@example.org", 1000, ZERO_KEY},
    {"ten thousand keys", "uid-", "@example.org", 10000, COUNTING_KEY},
    {"thirty thousand keys", "uid-", "@example.org", 30000, ZERO_KEY},
    {"thirty thousand keys under another hash key", "uid-", "@example.org", 30000, COUNTING_KEY},
    {"keys that differ in their last bytes", "event-2026-11-03-", "", 20000, COUNTING_KEY},
    {"long keys", "040000008200E00074C5B7101A82E008000000004", "@example.org", 20000, ZERO_KEY},
};

TEST(uid_table_growth, table)
{
    for (const growth_case &c : GROWTH_CASES) {
        SCOPED_TRACE(c.name);
        htab_set_hash_key(c.hash_key);
        htab_init();
        uint32_t first_slots = htab_slot_count();
        std::vector<std::string> keys;
        keys.reserve(c.keys);
        for (int n = 0; n < c.keys; n++)
            keys.push_back(c.before + std::to_string(n) + c.after);
        // A few probes a key on average, moves included: the table moves
        // before it is crowded, and the hash spreads keys of one pattern.
        enter_all(keys, 10);
        if (testing::Test::HasFatalFailure()) {
            htab_destroy();
            return;
        }
        EXPECT_EQ(static_cast<uint32_t>(c.keys), htab_used_count());
        EXPECT_LE(find_all(keys), 4u * keys.size());
        // The slots grow with the keys, not beyond: their memory.
        EXPECT_LE(htab_slot_count(), first_slots + 3u * keys.size());
        std::string absent = "absent@example.org";
        EXPECT_EQ(nullptr, hsearch(text(absent), nullptr, HTAB_FIND));
        htab_destroy();
    }
}

// UIDs made to share a few slots under one hash key cost each other a walk
// along all of them; under another key, as under the key drawn for each
// run, a probe or two: they cannot be made in advance.
TEST(uid_table_keys, uids_made_to_collide_under_one_key_do_not_under_another)
{
    htab_set_hash_key(COUNTING_KEY);
    htab_init();
    std::vector<std::string> keys;
    for (int n = 0; keys.size() < 100; n++) {
        std::string key = "uid-" + std::to_string(n) + "@example.org";
        if (start_slot(key) < 8)
            keys.push_back(key);
    }
    uint64_t before = htab_probe_count();
    enter_all(keys);
    EXPECT_GT(htab_probe_count() - before, 20 * keys.size());
    htab_destroy();

    htab_set_hash_key(ZERO_KEY);
    htab_init();
    before = htab_probe_count();
    enter_all(keys);
    EXPECT_LE(htab_probe_count() - before, 2 * keys.size());
    EXPECT_LE(find_all(keys), 2 * keys.size());
    htab_destroy();
}

TEST_F(uid_table, data_changed_before_a_move_is_kept)
{
    std::string first = "first@example.org";
    int before = 0, after = 0;
    hsearch(text(first), &before, HTAB_ENTER)->data = &after;
    uint32_t first_slots = htab_slot_count();
    std::vector<std::string> keys;
    keys.reserve(1 << 16);  // the table keeps pointers into the strings
    for (int n = 0; htab_slot_count() == first_slots; n++) {
        ASSERT_LT(n, 1 << 16) << "the table never moved";
        keys.push_back("uid-" + std::to_string(n) + "@example.org");
        ASSERT_NE(nullptr, hsearch(text(keys.back()), nullptr, HTAB_ENTER));
    }
    htab_entry *found = hsearch(text(first), nullptr, HTAB_FIND);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(&after, found->data);
    // Re-entering a key after the move replaces it without counting.
    std::string copy = "first@example.org";
    int data = 0;
    htab_entry *again = hsearch(text(copy), &data, HTAB_ENTER);
    EXPECT_EQ(copy.data(), again->key);
    EXPECT_EQ(&data, again->data);
    EXPECT_EQ(keys.size() + 1, htab_used_count());
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

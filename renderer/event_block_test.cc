// event_block_test.cc: the ids that --anchors gives the event blocks.
#include "renderer/event_block.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct block_id_case {
    const char *name;
    const char *uid;
    const char *start;
    const char *zone;   // null: the time as it is (a date, UTC or floating)
    const char *id;
};

const block_id_case BLOCK_ID_CASES[] = {
    {"plain UID, UTC time", "meeting-1", "20261126T090000Z", nullptr,
     "event-meeting-1-20261126T090000Z"},
    {"zoned time in UTC", "meeting-1", "20261126T100000", "Europe/Berlin",
     "event-meeting-1-20261126T090000Z"},
    {"the same instant from another zone", "meeting-1", "20261126T180000", "Asia/Tokyo",
     "event-meeting-1-20261126T090000Z"},
    {"date", "holiday", "20261126", nullptr, "event-holiday-20261126"},
    {"floating time", "local", "20261126T080000", nullptr, "event-local-20261126T080000"},
    {"signs reduced, hash added", "a@b", "20261126", nullptr, "event-a-b-11930f92-20261126"},
    {"another UID that reduces alike", "a.b", "20261126", nullptr,
     "event-a-b-108bf50c-20261126"},
    {"no UID", nullptr, "20261126", nullptr, "event--20261126"},
    {"long UID cut, hash added", "0123456789012345678901234567890123456789012345678901234567890",
     "20261126", nullptr, "event-012345678901234567890123456789012345678901234567-60670a07-20261126"},
};

TEST(block_id, table)
{
    for (const block_id_case &c : BLOCK_ID_CASES) {
        SCOPED_TRACE(c.name);
        icaltimetype start = icaltime_from_string(c.start);
        if (c.zone != nullptr)
            start.zone = icaltimezone_get_builtin_timezone(c.zone);
        EXPECT_EQ(c.id, block_id(c.uid, start));
    }
}

}  // namespace

// rule_budget.cc: one budget of rule steps per document.
#include "renderer/rule_budget.h"

#include <algorithm>
#include <cstdio>

static long long shared_steps = RULE_STEPS_SHARED;
static long long pool_left = RULE_STEPS_SHARED;
static long long charged = 0;
static bool noted = false;
static bool started_for_document = false;

void start_rule_budget(long long shared)
{
    shared_steps = shared;
    pool_left = shared_steps;
    charged = 0;
    noted = false;
    started_for_document = true;
}

void continue_rule_budget(long long shared)
{
    if (!started_for_document)
        start_rule_budget(shared);
    started_for_document = false;
}

void add_document_rule_steps(long properties)
{
    pool_left += RULE_STEPS_PER_PROPERTY * properties;
}

long long rule_steps_available()
{
    return RULE_STEPS_EACH + pool_left;
}

void charge_rule_steps(long long steps)
{
    charged += steps;
    pool_left -= std::min(pool_left, std::max(0LL, steps - RULE_STEPS_EACH));
}

void note_rule_steps_spent()
{
    if (noted)
        return;
    noted = true;
    fprintf(stderr, "evtable: rules cut short: the document's %lld shared rule steps are spent\n",
            shared_steps);
}

long long rule_steps_charged()
{
    return charged;
}

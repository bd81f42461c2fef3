#include "core/common/threads.h"

#include <algorithm>
#include <cstdlib>

namespace localmodels::threads {

namespace {

// A positive count from LOCALMODELS_THREADS, or 0 when unset or not one.
int requested()
{
    const char* v = std::getenv("LOCALMODELS_THREADS");
    if (!v || !*v) return 0;
    char* end;
    const long n = std::strtol(v, &end, 10);
    if (*end != '\0' || n < 1) return 0;
    return n > 1024 ? 1024 : static_cast<int>(n);
}

// The threads worth `work` operations at `per_thread` each, at most `most`.
int held_to_work(double work, double per_thread, int most)
{
    const double worth = std::max(1.0, work / per_thread);
    return worth < most ? static_cast<int>(worth) : most;
}

}  // namespace

int count_for(std::size_t items, double cost_per_item)
{
    return count_for(items, cost_per_item, from_environment);
}

int count_for(std::size_t items, double cost_per_item, int asked)
{
    if (items <= 1) return 1;
    const unsigned found = std::thread::hardware_concurrency();
    const int cores = found > 0 ? static_cast<int>(std::min(found, 1024u)) : 1;
    const double work = static_cast<double>(items) * cost_per_item;
    if (asked == from_environment) asked = requested();
    if (asked == all_cores) asked = cores;
    int n;
    if (asked > 0)
        n = held_to_work(work, min_work_per_asked_thread, std::min(asked, cores));
    else
        n = work >= 2 * min_work_per_thread ? held_to_work(work, min_work_per_thread, cores) : 1;
    return items < static_cast<std::size_t>(n) ? static_cast<int>(items) : n;
}

}  // namespace localmodels::threads

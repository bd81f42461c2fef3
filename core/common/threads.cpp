#include "core/common/threads.h"

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

}  // namespace

int count_for(std::size_t items, double cost_per_item)
{
    if (items <= 1) return 1;
    int n = requested();
    if (n == 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        const double work = static_cast<double>(items) * cost_per_item;
        n = cores > 1 && work >= 2 * min_work_per_thread ? static_cast<int>(cores) : 1;
        while (n > 1 && work / n < min_work_per_thread) --n;
    }
    return items < static_cast<std::size_t>(n) ? static_cast<int>(items) : n;
}

}  // namespace localmodels::threads

#include "support/faults.h"

namespace tolvar {

namespace {

long alloc_countdown = 0;
long io_countdown = 0;
void (*temp_created_hook)() = nullptr;

bool count_down(long& countdown)
{
    if (countdown <= 0) {
        return false;
    }
    return --countdown == 0;
}

}  // namespace

void set_alloc_failure(long countdown)
{
    alloc_countdown = countdown;
}

bool alloc_should_fail()
{
    return count_down(alloc_countdown);
}

long alloc_failure_countdown()
{
    return alloc_countdown;
}

long io_failure_countdown()
{
    return io_countdown;
}

void set_io_failure(long countdown)
{
    io_countdown = countdown;
}

bool io_should_fail()
{
    return count_down(io_countdown);
}

void set_temp_created_hook(void (*hook)())
{
    temp_created_hook = hook;
}

void temp_created()
{
    if (temp_created_hook != nullptr) {
        temp_created_hook();
    }
}

}  // namespace tolvar

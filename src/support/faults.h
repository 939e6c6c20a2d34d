// Test hooks that make the n-th allocation or I/O call from now on fail, so
// that every failure path can be reached and checked.
#pragma once

namespace tolvar {

// 1 = the next allocation fails; 0 switches failure injection off.
void set_alloc_failure(long countdown);

// True when the failure injection says this allocation must fail.
bool alloc_should_fail();

// The countdowns as they stand, to set again for a second run of a stage.
long alloc_failure_countdown();
long io_failure_countdown();

// The same for the calls that read the inputs and write the outputs.
void set_io_failure(long countdown);
bool io_should_fail();

// Called once the temporary file of a write exists (to interrupt it).
void set_temp_created_hook(void (*hook)());
void temp_created();

}  // namespace tolvar

// Linked into the targets whose inputs go through Qt objects.
//
// Qt's libraries are built without frame pointers, and AddressSanitizer's
// fast unwinder follows frame pointers: the stack it records for an
// allocation made inside Qt runs on through whatever the frame register
// held, which differs from one input to the next. The sanitizer keeps every
// stack it has recorded, so a long run grew by kilobytes per input although
// nothing of the input stayed alive. Allocations are unwound from the unwind
// tables instead: the stacks are the real ones and are recorded once.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

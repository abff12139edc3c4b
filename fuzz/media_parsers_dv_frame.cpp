// Any bytes as a DV frame: every reader stays within them and answers.
#include "media/parsers/dv_frame.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The system fix writes into the frame, so it gets a copy of exactly the input's size.
    std::vector<BYTE> frame(data, data + size);
    BYTE* p = frame.empty() ? nullptr : frame.data();

    const TDVTimecode tc = FindDVTimecode(p, size);
    if (tc.isValid() && (tc.minutes >= 60 || tc.seconds >= 60))
        std::abort();
    DVRecDateTimeValue(FindDVRecDateTime(p, size));
    GetDVAudioSampleRate(p, size);
    GetDVAudioQuantization(p, size);
    IsDVWideScreen(p, size);
    for (int system : {dvs625_50, dvs525_60, dvsUndetermined})
        IsValidDVFrame(p, size, system);
    const int system = FixDVSystemFlag(p, size);
    if (system != dvsUndetermined && !IsValidDVFrame(p, size, dvsUndetermined) && IsValidDVFrame(p, size, system))
        std::abort(); // a frame valid for its system is valid for any
    return 0;
}

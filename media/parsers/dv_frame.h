#pragma once
// Readers of the codes that a DV frame carries: time code, recording date and
// time, audio format, display aspect, line system and validity.
//
// A frame is a run of DIF sequences of 12,000 bytes: 10 for 525/60, 12 for
// 625/50. Every reader takes the frame's bytes and their count and never
// reads beyond them; what lies outside answers as absent.

#include "media/parsers/media_records.h"
#include "platform/core/types.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDIFSequenceSize = 12'000;

enum DVSystem : int {
    dvs625_50 = 0,
    dvs525_60 = 1,
    dvsUndetermined = 2,
};

// The recording date and time pack values; year -1 means none was found.
struct TDVRecDateTime
{
    std::int32_t year = -1;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
};

// The time code of sequence n; hours 255 when it has none.
TDVTimecode GetDVTimecode(const BYTE* frame, std::size_t size, int n);
// The first time code found in sequences 0 to 9.
TDVTimecode FindDVTimecode(const BYTE* frame, std::size_t size);

// The recording date and time of sequence n; year -1 when it has none.
TDVRecDateTime GetDVRecDateTime(const BYTE* frame, std::size_t size, int n);
// The first recording date and time found in sequences 0 to 9.
TDVRecDateTime FindDVRecDateTime(const BYTE* frame, std::size_t size);
// The date and time as a clock reading (no time zone, milliseconds 0);
// invalid when the values are not a real date and time.
QDateTime DVRecDateTimeValue(const TDVRecDateTime& rec);

// Makes the system flag of the first 10 sequences agree with the majority
// and returns that system; a tie or a short frame changes nothing and gives
// dvsUndetermined.
int FixDVSystemFlag(BYTE* frame, std::size_t size);

// 48000, 44100 or 32000 Hz; 0 for another code; -1 without an audio pack.
int GetDVAudioSampleRate(const BYTE* frame, std::size_t size);
// 16 or 12 bits; 0 for another code; -1 without an audio pack.
int GetDVAudioQuantization(const BYTE* frame, std::size_t size);

bool IsDVWideScreen(const BYTE* frame, std::size_t size);

// The header, subcode and audio packs of sequence n are where they belong.
bool CheckDIFSequence(const BYTE* frame, std::size_t size, int system, int n);
// Every sequence of the frame passes CheckDIFSequence: 12 for 625/50, else 10.
bool IsValidDVFrame(const BYTE* frame, std::size_t size, int system);

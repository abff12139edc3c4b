#pragma once
// Plain records that the media filters, the managers and the main window pass
// to one another, the media position and its time-code text.
//
// The records are values: copying one copies every field, and QString shares
// its text through an atomic count, so a copy made on a streaming thread is
// safe to read on the interface thread.

#include "platform/core/types.h"
#include "platform/core/unknown.h"
#include "platform/graph/interfaces.h"

#include <QString>

#include <array>
#include <cstdint>

// A summary of one video format.
struct TVideoData
{
    bool valid = false; // one of the format readers recognised the media type
    std::int32_t width = 0;
    std::int32_t height = 0; // as stored in the bitmap header, may be negative
    std::int32_t bitCount = 0;
    REFERENCE_TIME frameDuration = 0;
    QString subtypeName;
    std::int32_t aspectX = 0; // picture aspect ratio; 0 when the format has none
    std::int32_t aspectY = 0;
    std::int32_t bitRate = 0;
    double frameRate = 0;
    QString sizeText;            // "720x576 - 25 fps"
    std::uint8_t aspectKind = 0; // see AspectKind
    QString description;         // subtype name with the aspect
};

enum AspectKind : std::uint8_t {
    akFourThree = 0,
    akSixteenNine = 1,
    akNone = 2,
    akOther = 3,
};

// A DV time code: hours, minutes, seconds, frames. Hours of 255 mean none.
struct TDVTimecode
{
    std::uint8_t hours = 255;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t frames = 0;

    bool isValid() const { return hours != 255; }
    friend bool operator==(const TDVTimecode&, const TDVTimecode&) = default;
};

// Why a scene break was detected.
enum JumpReason : std::uint8_t {
    jrNone = 0,
    jrDateGap = 2,
    jrFormatChange = 3,
    jrDateBegins = 5,
    jrDateEnds = 6,
    jrSceneTooLong = 7,
};

// What a notifier knows of one frame or one audio format.
struct TframeData
{
    std::int32_t frameNumber = 0; // frames since streaming started, the first is 0
    bool valid = false;           // the DV frame passed its checks or its data was read
    std::uint8_t system = 0;      // 0 = 625 lines / 50 Hz, 1 = 525 lines / 60 Hz
    bool dateValid = false;
    double recDate = 0;   // DV recording date and time (days since 1899-12-30); 0 when none
    double firstDate = 0; // smallest positive recording date since streaming started
    QString dateText;
    bool timecodeValid = false;
    TDVTimecode timecode;
    QString timecodeText;
    QString audioFormatName;
    std::int32_t channels = 0;
    std::int32_t bitsPerSample = 0;
    std::int32_t sampleRate = 0; // Hz
    std::int32_t bitRate = 0;    // bits per second
    QString audioText;
    std::uint8_t jumpReason = jrNone;
    ComPtr<IMediaSample> sample; // in a scene message's copy: the frame's media sample when it held data
};

// The DV codes handed to the inlay.
struct TIncrustDV
{
    bool dateValid = false;
    bool timecodeValid = false;
    double recDate = 0;
    QString timecodeText;
};

struct TIncrustNumero
{
    bool active = false;
    QString numberText;
};

struct TIncrustFileName
{
    bool active = false;
    QString fileName;
};

struct TIncrustSysDate
{
    bool active = false;
    double now = 0;
};

// The eight lines of the inlay text.
using TText8 = std::array<QString, 8>;

// The last scene jump, shared between a notifier's streaming thread and the
// interface. Owned by the filter that creates it.
class TSaut
{
public:
    TVideoData videoAfter;
    TVideoData videoBefore;
    TframeData frameAfter;
    TframeData frameBefore;
    std::int32_t thumbBefore = 0; // thumbnail ring slots, 1 to 48
    std::int32_t thumbAfter = 0;
    std::int32_t framesSeen = 0;
    std::int32_t framesSinceJump = 0;
    bool pending = false; // a detected jump waits to be reported
    std::int32_t sceneStartFrame = 0;
};

// Same picture size, aspect, description and size text.
bool SameVideoData(const TVideoData& a, const TVideoData& b);
// Same audio format name, channels, bits, sample rate and bit rate.
bool SameAudioFormat(const TframeData& a, const TframeData& b);

// One second in media position units (100 ns).
inline constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;

// "h:mm:ss:ff" to a position; fields that are not numbers read as 0.
REFERENCE_TIME TimecodeStrToRefTime(const QString& text, REFERENCE_TIME frameDuration);
// A position to "h:mm:ss:ff"; a position within half a frame of the next
// second shows that second. A frame duration of 0 counts frames of 1 ms.
QString RefTimeToTimecodeStr(REFERENCE_TIME frameDuration, REFERENCE_TIME position);
// The "h:mm:ss:ff" text of a DV time code.
QString DVTimecodeToStr(const TDVTimecode& tc);

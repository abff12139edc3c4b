#pragma once
// One container read through FFmpeg: its streams, their packets with times
// in 100-ns units counted from the first frame, and frame-accurate seeking.
// Not thread-safe: its owner serialises the calls.

#include "platform/filters/av_util.h"
#include "platform/filters/file_source.h"

#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct DemuxedPacket
{
    av::PacketPtr packet;
    int stream = -1;
    bool timed = false;
    // From the first frame; stop is start when the duration is unknown.
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    // The container gave the packet's presentation time itself; otherwise
    // it was carried on from the packets before (a guess where pictures
    // are reordered).
    bool stated = false;
    bool keyframe = false;
};

// A timed packet that is over before `t` (one without a duration, when it
// starts before `t`).
bool endsBefore(const DemuxedPacket& p, REFERENCE_TIME t);

class Demuxer
{
public:
    // Opens a byte stream read through `reader`, or a file by name. The
    // result code tells why a container was refused. A byte stream whose
    // container is known already (`format`, from the source's subtype) is
    // not probed again.
    static std::unique_ptr<Demuxer> open(ComPtr<IAsyncReader> reader, HRESULT* hr,
                                         const AVInputFormat* format = nullptr);
    static std::unique_ptr<Demuxer> open(const QString& fileName, HRESULT* hr);
    ~Demuxer();
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;

    // FFmpeg's short name of the container ("avi", "mpeg", "mpegts"...).
    std::string formatName() const;
    // The streams found on opening. Program and transport streams may
    // announce more later on: those are skipped.
    int streamCount() const { return streamCount_; }
    const AVStream* stream(int index) const;
    // The stream that positions count on: the first video stream, else the
    // first stream.
    int referenceStream() const { return reference_; }
    // The frame duration of a video stream in 100-ns units, 0 if unknown.
    REFERENCE_TIME frameDuration(int index) const;
    // Frames a second of a video stream, 0/1 if unknown.
    AVRational frameRate(int index) const;
    // From the first frame to the end of the reference stream's last frame;
    // 0 when it cannot be known.
    REFERENCE_TIME duration() const { return duration_; }
    bool knowsDuration() const { return duration_ > 0; }
    // Where the reference stream's last frame starts: the furthest a seek
    // goes, so that it shows that frame. 0 when the duration is unknown.
    REFERENCE_TIME lastFrameStart() const { return lastStart_; }
    // FFmpeg's choice among the streams of a kind, or a negative code.
    int bestStream(AVMediaType type) const { return av_find_best_stream(format_, type, -1, -1, nullptr, 0); }
    // Streams not wanted are skipped by the container reader.
    void setWanted(int index, bool wanted);

    // The next packet; false at the end of the file or on a read error.
    bool read(DemuxedPacket& out);
    // Moves to the keyframe of the reference stream at or before `target`,
    // so that decoding forward from the next packet reaches `target`.
    // Packets of the reference stream before that keyframe are dropped.
    HRESULT seek(REFERENCE_TIME target);

private:
    Demuxer() = default;
    HRESULT openInput(const char* url, const AVInputFormat* format = nullptr);
    bool readRaw(DemuxedPacket& out);
    // The container's next packet of a stream known since opening.
    bool readPacket(AVPacket* packet);
    // Gives a picture of an AVI stream stored in decoding order the time it
    // is shown at, reading ahead as far as the next picture that others
    // refer to.
    void timeFromDecodingOrder(AVPacket* packet);
    // A time of the file, `ts` in `base` from the stream's origin, as a
    // position.
    REFERENCE_TIME toPosition(int64_t ts, AVRational base) const;
    // A time or a length of the reference stream within a tick of the
    // container's clock of a whole number of frame durations is that number
    // of them.
    REFERENCE_TIME onFrameGrid(REFERENCE_TIME t) const;
    // Seeks the container at or before `target`; false when it cannot.
    bool seekBefore(REFERENCE_TIME target);
    // Seeks by byte to a keyframe seen before, at or shortly before
    // `target`; false when none is known.
    bool seekToKnownKeyframe(REFERENCE_TIME target);
    void seekToStart();
    // For a container that states no duration (raw elementary streams,
    // damaged or cut files): the end of its last frame, or an estimate
    // from the pace of its start; 0 when nothing in it is timed.
    REFERENCE_TIME measureDuration();
    // For a container that states a duration: the reference stream's own
    // end, read from the file's last packets (the stated figure is rounded,
    // or runs to the end of the sound, or counts a preroll). False when the
    // end could not be read.
    bool readEnd();
    // The time of the reference stream's first keyframe, in its time base,
    // when pictures of it come before; else none.
    int64_t firstKeyframeAfterOthers();
    // The timed packets of the reference stream read from where the
    // container is to the end of the file or byte `limit`.
    struct Span
    {
        REFERENCE_TIME firstStart = -1; // of the first packet read
        REFERENCE_TIME lastStart = -1;  // the latest start
        REFERENCE_TIME end = 0;         // the latest end, 0 when none was read
        bool toEnd = false;             // reading reached the end of the file
        bool keyframe = false;          // a keyframe was read
        int pictures = 0;               // timed packets read
    };
    Span spanBefore(int64_t limit);
    // While one lives, only the reference stream's packets are read.
    class ReferenceOnly;
    // Reads from where the container is to the reference stream's last
    // keyframe at or before `target` and on up to the target; true with
    // the packets from there on pending when that keyframe was found.
    bool readUpTo(REFERENCE_TIME target);
    // With `read` holding the packets from the keyframe to the first picture
    // after `target`: reads the pictures that may still be shown before it,
    // and gives the last picture before a target that no picture covers the
    // target's time.
    void showLastBefore(std::deque<DemuxedPacket>& read, REFERENCE_TIME target);
    // The container moved: what was carried on from the packets read
    // before no longer holds.
    void forgetReadingPlace();
    // A keyframe of the reference stream was read at `pos`.
    void noteKeyframe(REFERENCE_TIME start, int64_t pos);

    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    ComPtr<IAsyncReader> reader_;
    LONGLONG readerPos_ = 0;
    int streamCount_ = 0;
    int reference_ = -1;
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME lastStart_ = 0;
    // Positions are the file's times stretched by this, so that the
    // reference stream's frames start at whole frame durations.
    AVRational stretch_{1, 1};
    // How far a frame of the reference stream may lie from its place on the
    // grid of frame durations: a tick of its clock, 0 for none.
    REFERENCE_TIME gridTolerance_ = 0;
    // The container holds times of its own.
    bool statesTimes_ = true;
    // A raw MPEG video stream: its pictures are timed by their headers, from
    // the time FFmpeg gives the first picture stored in their group.
    bool storedOrder_ = false;
    // An AVI stream of MPEG pictures with B-pictures: AVI keeps no
    // presentation times, only the order of decoding, one picture a tick;
    // FFmpeg times the B-pictures alone.
    bool decodingOrder_ = false;
    // Packets read ahead to time such a stream, in the order read.
    std::deque<av::PacketPtr> ahead_;
    int64_t groupStart_ = AV_NOPTS_VALUE;
    // The first frame's time in each stream's own time base.
    std::vector<int64_t> origin_;
    // Where the next packet of a stream begins, when its own time is missing.
    std::vector<int64_t> nextTs_;
    std::deque<DemuxedPacket> pending_;
    // The reference stream's keyframes read so far, by time, with the byte
    // where each starts; used where a time search lands only near the time
    // asked for (program and transport streams).
    struct Keyframe
    {
        REFERENCE_TIME start;
        int64_t pos;
    };
    std::vector<Keyframe> keyframes_;
    // The longest stretch between two keyframes read one after the other,
    // and the last keyframe read since the container last moved.
    REFERENCE_TIME keyframeInterval_ = 0;
    std::optional<REFERENCE_TIME> lastKeyframe_;

    static int readCallback(void* opaque, uint8_t* buffer, int size);
    static int64_t seekCallback(void* opaque, int64_t offset, int whence);
};

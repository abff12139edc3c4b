#include "platform/filters/demuxer.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <limits>

namespace {

constexpr int kIoBufferSize = 64 * 1024;
// How many packets a seek reads while looking for the keyframe.
constexpr int kKeyframeSearchLimit = 4096;
// How often a seek backs off (from one keyframe interval, doubling) before
// it starts from the beginning.
constexpr int kBackoffLimit = 8;
constexpr REFERENCE_TIME kSecond = 10'000'000;

int64_t bestTs(const AVPacket* p)
{
    return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
}

// What the headers of one MPEG-1 or MPEG-2 picture say about its place in
// the order of display.
struct PictureOrder
{
    bool groupStart = false;    // a group of pictures begins with it
    int temporalReference = -1; // its place within the group, -1 unread
};

PictureOrder pictureOrderOf(const uint8_t* data, int size)
{
    PictureOrder order;
    for (int i = 0; i + 5 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        if (data[i + 3] == 0xB8) {
            order.groupStart = true;
        } else if (data[i + 3] == 0x00) {
            // Ten bits after the picture start code.
            order.temporalReference = (data[i + 4] << 2) | (data[i + 5] >> 6);
            break;
        }
    }
    return order;
}

} // namespace

bool endsBefore(const DemuxedPacket& p, REFERENCE_TIME t)
{
    return p.stop > p.start ? p.stop <= t : p.start < t;
}

int Demuxer::readCallback(void* opaque, uint8_t* buffer, int size)
{
    auto* self = static_cast<Demuxer*>(opaque);
    LONG read = 0;
    if (FAILED(self->reader_->SyncRead(self->readerPos_, size, buffer, &read)))
        return AVERROR(EIO);
    self->readerPos_ += read;
    return read > 0 ? read : AVERROR_EOF;
}

int64_t Demuxer::seekCallback(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<Demuxer*>(opaque);
    LONGLONG total = 0;
    self->reader_->Length(&total, nullptr);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return total;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += self->readerPos_;
        break;
    case SEEK_END:
        offset += total;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    self->readerPos_ = offset;
    return offset;
}

std::unique_ptr<Demuxer> Demuxer::open(ComPtr<IAsyncReader> reader, HRESULT* hr, const AVInputFormat* format)
{
    std::unique_ptr<Demuxer> d(new Demuxer);
    d->reader_ = std::move(reader);
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    d->io_ =
        buffer ? avio_alloc_context(buffer, kIoBufferSize, 0, d.get(), readCallback, nullptr, seekCallback) : nullptr;
    if (!d->io_) {
        av_free(buffer);
        *hr = E_OUTOFMEMORY;
        return nullptr;
    }
    d->format_ = avformat_alloc_context();
    if (!d->format_) {
        *hr = E_OUTOFMEMORY;
        return nullptr;
    }
    d->format_->pb = d->io_;
    d->format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    *hr = d->openInput("", format);
    return SUCCEEDED(*hr) ? std::move(d) : nullptr;
}

std::unique_ptr<Demuxer> Demuxer::open(const QString& fileName, HRESULT* hr)
{
    std::unique_ptr<Demuxer> d(new Demuxer);
    *hr = d->openInput(QFile::encodeName(fileName).constData());
    return SUCCEEDED(*hr) ? std::move(d) : nullptr;
}

Demuxer::~Demuxer()
{
    // Closing frees a context whose open failed, too.
    avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

HRESULT Demuxer::openInput(const char* url, const AVInputFormat* format)
{
    int err = avformat_open_input(&format_, url, format, nullptr);
    if (err < 0)
        return err == AVERROR(ENOENT) ? VFW_E_NOT_FOUND : VFW_E_UNSUPPORTED_STREAM;
    av::describeDVFromHeader(format_);
    err = avformat_find_stream_info(format_, nullptr);
    if (err < 0)
        return VFW_E_UNSUPPORTED_STREAM;

    streamCount_ = static_cast<int>(format_->nb_streams);
    const int count = streamCount_;
    origin_.assign(static_cast<std::size_t>(count), 0);
    nextTs_.assign(static_cast<std::size_t>(count), AV_NOPTS_VALUE);
    for (int i = 0; i < count && reference_ < 0; ++i) {
        const AVStream* s = format_->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            reference_ = i;
    }
    if (reference_ < 0 && count > 0)
        reference_ = 0;
    if (reference_ < 0)
        return VFW_E_UNSUPPORTED_STREAM;

    // Positions count from the reference stream's first frame; a file
    // without times counts from its start.
    const AVStream* ref = format_->streams[reference_];
    // The program counts frames by the whole number of 100-ns units a frame
    // lasts (29.97 a second: 333,667): the file's times are stretched by as
    // little, so that frame k starts at k frame durations however long the
    // file, and seeks by frame land on their frame. Sound keeps in step.
    if (const REFERENCE_TIME frame = frameDuration(reference_); frame > 0) {
        const AVRational rate = frameRate(reference_);
        av_reduce(&stretch_.num, &stretch_.den, frame * rate.num, int64_t{10'000'000} * rate.den, INT32_MAX);
        // Containers that count in milliseconds (Matroska), or round every
        // time to their tick (90 kHz), put the frames of rates such as
        // 24000/1001 up to a tick off that grid: a frame starting a little
        // late overlaps the start of the next, which a seek would show.
        gridTolerance_ = std::min(av::toRefTime(1, ref->time_base) + 1, frame / 4);
    }
    REFERENCE_TIME first = 0;
    if (ref->start_time != AV_NOPTS_VALUE)
        first = av::toRefTime(ref->start_time, ref->time_base);
    else if (format_->start_time != AV_NOPTS_VALUE)
        first = av::toRefTime(format_->start_time, AV_TIME_BASE_Q);
    for (int i = 0; i < count; ++i) {
        const AVStream* s = format_->streams[i];
        origin_[static_cast<std::size_t>(i)] = i == reference_ && ref->start_time != AV_NOPTS_VALUE
                                                   ? ref->start_time
                                                   : av::fromRefTime(first, s->time_base);
    }

    // A duration guessed from a bit rate is no better than none: raw
    // elementary streams state a placeholder rate. Such streams have no
    // times of their own either: what FFmpeg gives them is made up from
    // the order in which pictures are decoded.
    statesTimes_ = format_->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
    const AVCodecID codec = ref->codecpar->codec_id;
    storedOrder_ = !statesTimes_ && (codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO);
    decodingOrder_ = formatName() == "avi" && ref->codecpar->video_delay > 0 &&
                     (codec == AV_CODEC_ID_MPEG4 || codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO);
    // A file cut in the middle of a group of pictures, as a recording of a
    // broadcast starts, begins with pictures that cannot be decoded: its
    // first frame is its first keyframe.
    if (const int64_t key = statesTimes_ ? firstKeyframeAfterOthers() : AV_NOPTS_VALUE;
        key != AV_NOPTS_VALUE && key > origin_[static_cast<std::size_t>(reference_)]) {
        first = av::toRefTime(key, ref->time_base);
        for (int i = 0; i < count; ++i)
            origin_[static_cast<std::size_t>(i)] =
                i == reference_ ? key : av::fromRefTime(first, format_->streams[i]->time_base);
    }
    const int64_t refStart = origin_[static_cast<std::size_t>(reference_)];
    if (!statesTimes_)
        duration_ = 0;
    else if (ref->duration != AV_NOPTS_VALUE && ref->duration > 0)
        duration_ = toPosition(ref->duration - (ref->start_time != AV_NOPTS_VALUE ? refStart - ref->start_time : 0),
                               ref->time_base);
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        const REFERENCE_TIME fileStart =
            format_->start_time != AV_NOPTS_VALUE ? av::toRefTime(format_->start_time, AV_TIME_BASE_Q) : 0;
        duration_ =
            std::max<REFERENCE_TIME>(0, av_rescale(av::toRefTime(format_->duration, AV_TIME_BASE_Q) + fileStart - first,
                                                   stretch_.num, stretch_.den));
    }
    // FFmpeg has read the end of a file timed by its packets already, and
    // taken each stream's own end from the last packets there: the video's
    // last picture ends where its stream does.
    const bool endRead = format_->duration_estimation_method == AVFMT_DURATION_FROM_PTS &&
                         ref->duration != AV_NOPTS_VALUE && ref->duration > 0 && frameDuration(reference_) > 0;
    if (duration_ <= 0 || (!endRead && !readEnd()))
        duration_ = measureDuration();
    duration_ = onFrameGrid(duration_);
    // Without a last frame read, the last picture starts a frame before the end.
    if (duration_ > 0 && lastStart_ <= 0)
        lastStart_ = std::max<REFERENCE_TIME>(0, duration_ - frameDuration(reference_));
    return S_OK;
}

class Demuxer::ReferenceOnly
{
public:
    explicit ReferenceOnly(Demuxer* demuxer) : demuxer_(demuxer)
    {
        for (int i = 0; i < demuxer_->streamCount_; ++i) {
            discard_.push_back(demuxer_->format_->streams[i]->discard);
            if (i != demuxer_->reference_)
                demuxer_->format_->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    // The streams are read as before, from the start.
    ~ReferenceOnly()
    {
        for (int i = 0; i < demuxer_->streamCount_; ++i)
            demuxer_->format_->streams[i]->discard = discard_[static_cast<std::size_t>(i)];
        demuxer_->forgetReadingPlace();
        demuxer_->seekToStart();
    }
    ReferenceOnly(const ReferenceOnly&) = delete;
    ReferenceOnly& operator=(const ReferenceOnly&) = delete;

private:
    Demuxer* demuxer_;
    std::vector<AVDiscard> discard_;
};

int64_t Demuxer::firstKeyframeAfterOthers()
{
    ReferenceOnly only(this);
    const av::PacketPtr packet = av::makePacket();
    bool others = false;
    for (int n = 0; packet && n < kKeyframeSearchLimit && readPacket(packet.get()); ++n) {
        const bool mine = packet->stream_index == reference_;
        const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        const int64_t ts = bestTs(packet.get());
        av_packet_unref(packet.get());
        if (mine && key)
            return others ? ts : AV_NOPTS_VALUE;
        others = others || mine;
    }
    return AV_NOPTS_VALUE;
}

bool Demuxer::readEnd()
{
    // Reading stops this far after the landing point: past it the end is
    // not worth the wait, and the stated duration stands.
    constexpr int64_t kReadBytes = 64 << 20;
    const int64_t size = avio_size(format_->pb);
    if (size <= 0 || !(format_->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return false;
    // Program and transport streams are searched by time through their
    // bytes, which reads much of a short file: they are entered at the byte
    // that lies as far before the end at the file's mean rate, and going
    // further back reads only up to the bytes read already. What is read
    // counts once it holds a keyframe, since every picture stored before a
    // keyframe is shown before it (a search by time lands on one), or more
    // pictures than are ever stored after the last one shown. The keyframes
    // met are not kept: in joined recordings, whose times repeat, one could
    // stand for an earlier one of the same time.
    constexpr int kReordered = 16;
    const bool byBytes = (format_->iformat->flags & AVFMT_TS_DISCONT) != 0;
    const std::vector<Keyframe> known = keyframes_;
    Span tail;
    int64_t tailFrom = -1;
    // Only the times of the packets count here: containers that store whole
    // pictures need no parser to find them, and a parser costs more than the
    // reading (a move closes the parsers, and those the reading needs after
    // come back with the flag). Program and transport streams store pieces.
    const int flags = format_->flags;
    const auto restoreFlags = qScopeGuard([this, flags] { format_->flags = flags; });
    if (!byBytes)
        format_->flags |= AVFMT_FLAG_NOPARSE;
    ReferenceOnly only(this);
    // From two frames before the stated end (a container sought by time
    // lands on the keyframe before that), half a second for one sought by
    // bytes, further back when nothing of the reference stream lies after
    // the landing point.
    const REFERENCE_TIME frame = frameDuration(reference_);
    for (REFERENCE_TIME back = byBytes || frame <= 0 ? kSecond / 2 : 2 * frame;; back *= 2) {
        const REFERENCE_TIME from = duration_ - back;
        bool landed = false;
        if (from > 0 && byBytes)
            landed = av_seek_frame(format_, -1, size - int64_t(double(size) * double(back) / double(duration_)),
                                   AVSEEK_FLAG_BYTE) >= 0;
        else if (from > 0)
            landed = seekBefore(from);
        if (!landed)
            seekToStart();
        const int64_t at = avio_tell(format_->pb);
        Span span = spanBefore(landed && byBytes && tailFrom >= 0 ? tailFrom : at + kReadBytes);
        if (landed && byBytes) {
            keyframes_ = known;
            if (tailFrom >= 0) {
                span.toEnd = tail.toEnd;
                span.lastStart = std::max(span.lastStart, tail.lastStart);
                span.end = std::max(span.end, tail.end);
                span.keyframe = span.keyframe || tail.keyframe;
                span.pictures += tail.pictures;
            }
            tail = span;
            tailFrom = std::min(at, tailFrom >= 0 ? tailFrom : at);
        }
        if (!span.toEnd)
            return false;
        if (span.end > 0 && (!landed || !byBytes || span.keyframe || span.pictures > kReordered)) {
            duration_ = span.end;
            lastStart_ = span.lastStart;
            return true;
        }
        if (!landed)
            return false;
    }
}

Demuxer::Span Demuxer::spanBefore(int64_t limit)
{
    forgetReadingPlace();
    Span span;
    DemuxedPacket p;
    for (;;) {
        if (avio_tell(format_->pb) >= limit)
            return span;
        if (!readRaw(p))
            break;
        if (p.stream != reference_)
            continue;
        span.keyframe = span.keyframe || p.keyframe;
        if (!p.timed)
            continue;
        ++span.pictures;
        if (span.firstStart < 0)
            span.firstStart = p.start;
        span.lastStart = std::max(span.lastStart, p.start);
        span.end = std::max({span.end, p.start, p.stop});
    }
    span.toEnd = true;
    return span;
}

REFERENCE_TIME Demuxer::measureDuration()
{
    // The start is read as far as this; the end, from this far before it.
    constexpr int64_t kScanBytes = 16 << 20;
    const int64_t size = avio_size(format_->pb);
    if (size <= 0)
        return 0;
    ReferenceOnly only(this);
    const Span head = spanBefore(kScanBytes);
    if (head.toEnd) {
        // The whole file was read: its last frame is known.
        lastStart_ = std::max<REFERENCE_TIME>(head.lastStart, 0);
        return head.end;
    }
    const int64_t scanned = avio_tell(format_->pb);
    if (head.end <= 0)
        return 0;
    // Timestamps read after a jump close to the end count on from the
    // start when the container has times of its own; raw streams count
    // them from wherever reading begins, and their length is estimated
    // from the pace of the start instead.
    const REFERENCE_TIME atStart = head.end;
    Span tail;
    if (av_seek_frame(format_, -1, std::max<int64_t>(scanned, size - kScanBytes), AVSEEK_FLAG_BYTE) >= 0)
        tail = spanBefore(size);
    if (tail.firstStart > atStart / 2 && tail.end > atStart) {
        lastStart_ = tail.lastStart;
        return tail.end;
    }
    return static_cast<REFERENCE_TIME>(static_cast<double>(atStart) * static_cast<double>(size) /
                                       static_cast<double>(scanned));
}

std::string Demuxer::formatName() const
{
    return format_->iformat->name;
}

const AVStream* Demuxer::stream(int index) const
{
    return index >= 0 && index < streamCount() ? format_->streams[index] : nullptr;
}

AVRational Demuxer::frameRate(int index) const
{
    const AVStream* s = stream(index);
    if (!s || s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return {0, 1};
    AVRational rate = s->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = s->r_frame_rate;
    return rate.num > 0 && rate.den > 0 ? rate : AVRational{0, 1};
}

REFERENCE_TIME Demuxer::frameDuration(int index) const
{
    const AVRational rate = frameRate(index);
    return rate.num > 0 ? av_rescale(10'000'000, rate.den, rate.num) : 0;
}

REFERENCE_TIME Demuxer::toPosition(int64_t ts, AVRational base) const
{
    return av_rescale(av::toRefTime(ts, base), stretch_.num, stretch_.den);
}

REFERENCE_TIME Demuxer::onFrameGrid(REFERENCE_TIME t) const
{
    if (gridTolerance_ <= 0)
        return t;
    const REFERENCE_TIME frame = frameDuration(reference_);
    const REFERENCE_TIME nearest = (t >= 0 ? t + frame / 2 : t - frame / 2) / frame * frame;
    return std::abs(t - nearest) <= gridTolerance_ ? nearest : t;
}

void Demuxer::setWanted(int index, bool wanted)
{
    // Seeks find their keyframes in the reference stream, so it is always read.
    if (index >= 0 && index < streamCount())
        format_->streams[index]->discard = wanted || index == reference_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}

bool Demuxer::readPacket(AVPacket* packet)
{
    for (;;) {
        if (av_read_frame(format_, packet) < 0)
            return false;
        if (packet->stream_index < streamCount_)
            return true;
        // A stream that appeared after opening: no pin knows it, and the
        // tables here are sized for the streams found then.
        format_->streams[packet->stream_index]->discard = AVDISCARD_ALL;
        av_packet_unref(packet);
    }
}

void Demuxer::timeFromDecodingOrder(AVPacket* packet)
{
    // A B-picture is shown as soon as it is decoded, a tick after the time
    // it is stored at (the tick a stream with B-pictures is held back by);
    // a picture that others refer to, a tick before the next such picture
    // is stored, or as the last of all.
    constexpr int kReadAhead = 64;
    if (packet->dts == AV_NOPTS_VALUE)
        return;
    if (packet->pts != AV_NOPTS_VALUE) {
        packet->pts -= 1;
        return;
    }
    int64_t last = packet->dts;
    for (std::size_t n = 0;; ++n) {
        if (n == ahead_.size()) {
            av::PacketPtr next = av::makePacket();
            if (n == kReadAhead || !next || !readPacket(next.get()))
                break;
            ahead_.push_back(std::move(next));
        }
        const AVPacket* next = ahead_[n].get();
        if (next->stream_index != reference_ || next->dts == AV_NOPTS_VALUE)
            continue;
        if (next->pts == AV_NOPTS_VALUE) {
            packet->pts = next->dts - 1;
            return;
        }
        last = std::max(last, next->dts);
    }
    packet->pts = last;
}

bool Demuxer::readRaw(DemuxedPacket& out)
{
    av::PacketPtr packet;
    if (!ahead_.empty()) {
        packet = std::move(ahead_.front());
        ahead_.pop_front();
    } else {
        packet = av::makePacket();
        if (!packet || !readPacket(packet.get()))
            return false;
    }
    if (decodingOrder_ && packet->stream_index == reference_)
        timeFromDecodingOrder(packet.get());
    const int index = packet->stream_index;
    const AVStream* s = format_->streams[index];
    auto& next = nextTs_[static_cast<std::size_t>(index)];
    int64_t ts = bestTs(packet.get());
    // Containers that store no time for some packets (AVI with reordered
    // frames, raw streams) get one from the packets before.
    if (ts == AV_NOPTS_VALUE)
        ts = next;
    int64_t length = packet->duration;
    if (const AVRational rate = frameRate(index); length <= 0 && rate.num > 0)
        length = av_rescale_q(1, av_inv_q(rate), s->time_base);
    // A raw MPEG video stream has times only in the order pictures are
    // stored (made up by FFmpeg); the order shown is in each picture's
    // header: its place in its group, counted on from the pictures stored
    // before the group, all of which are shown before it.
    if (index == reference_ && storedOrder_ && packet->dts != AV_NOPTS_VALUE && length > 0) {
        const PictureOrder order = pictureOrderOf(packet->data, packet->size);
        if (order.groupStart)
            groupStart_ = packet->dts;
        if (groupStart_ != AV_NOPTS_VALUE && order.temporalReference >= 0)
            ts = groupStart_ + order.temporalReference * length;
    }
    out.stream = index;
    out.keyframe = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    out.timed = ts != AV_NOPTS_VALUE;
    out.stated = statesTimes_ && packet->pts != AV_NOPTS_VALUE;
    if (out.timed) {
        const int64_t rel = ts - origin_[static_cast<std::size_t>(index)];
        out.start = toPosition(rel, s->time_base);
        out.stop = length > 0 ? toPosition(rel + length, s->time_base) : out.start;
        if (index == reference_) {
            const REFERENCE_TIME lasts = onFrameGrid(out.stop - out.start);
            out.start = onFrameGrid(out.start);
            out.stop = out.start + lasts;
        }
        next = length > 0 ? ts + length : AV_NOPTS_VALUE;
        if (index == reference_ && out.keyframe)
            noteKeyframe(out.start, packet->pos);
    }
    out.packet = std::move(packet);
    return true;
}

bool Demuxer::read(DemuxedPacket& out)
{
    if (!pending_.empty()) {
        out = std::move(pending_.front());
        pending_.pop_front();
        return true;
    }
    return readRaw(out);
}

void Demuxer::seekToStart()
{
    // Program and transport streams are searched by time, and joined
    // recordings repeat their times: their start is their first byte.
    if ((format_->iformat->flags & AVFMT_TS_DISCONT) && av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE) >= 0)
        return;
    const int64_t start = origin_[static_cast<std::size_t>(reference_)];
    if (av_seek_frame(format_, reference_, start, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE);
}

bool Demuxer::seekBefore(REFERENCE_TIME target)
{
    const AVStream* ref = format_->streams[reference_];
    const int64_t ts = origin_[static_cast<std::size_t>(reference_)] +
                       av::fromRefTime(av_rescale(target, stretch_.den, stretch_.num), ref->time_base);
    return avformat_seek_file(format_, reference_, std::numeric_limits<int64_t>::min(), ts, ts, 0) >= 0 ||
           av_seek_frame(format_, reference_, ts, AVSEEK_FLAG_BACKWARD) >= 0;
}

void Demuxer::forgetReadingPlace()
{
    ahead_.clear();
    std::fill(nextTs_.begin(), nextTs_.end(), AV_NOPTS_VALUE);
    lastKeyframe_.reset();
    groupStart_ = AV_NOPTS_VALUE;
}

void Demuxer::noteKeyframe(REFERENCE_TIME start, int64_t pos)
{
    if (lastKeyframe_ && start > *lastKeyframe_)
        keyframeInterval_ = std::max(keyframeInterval_, start - *lastKeyframe_);
    lastKeyframe_ = start;
    if (pos < 0)
        return;
    const auto at = std::lower_bound(keyframes_.begin(), keyframes_.end(), start,
                                     [](const Keyframe& k, REFERENCE_TIME t) { return k.start < t; });
    if (at == keyframes_.end() || at->start != start)
        keyframes_.insert(at, {start, pos});
}

bool Demuxer::seekToKnownKeyframe(REFERENCE_TIME target)
{
    // Program and transport streams are searched by time through their
    // bytes and land near the time asked for, often after the keyframe
    // wanted; a keyframe's own byte is exact. Other containers have an
    // index or search by time exactly.
    if (!(format_->iformat->flags & AVFMT_TS_DISCONT) || keyframeInterval_ <= 0)
        return false;
    const auto after = std::upper_bound(keyframes_.begin(), keyframes_.end(), target,
                                        [](REFERENCE_TIME t, const Keyframe& k) { return t < k.start; });
    if (after == keyframes_.begin())
        return false;
    // A keyframe not yet seen may lie between the one known and the
    // target: reading finds it, but no more than a few intervals are read.
    const Keyframe& known = *std::prev(after);
    if (target - known.start > 2 * keyframeInterval_)
        return false;
    return av_seek_frame(format_, -1, known.pos, AVSEEK_FLAG_BYTE) >= 0;
}

bool Demuxer::readUpTo(REFERENCE_TIME target)
{
    forgetReadingPlace();
    std::deque<DemuxedPacket> read;
    bool found = false;
    bool beyond = false;
    DemuxedPacket p;
    for (int n = 0; n < kKeyframeSearchLimit && readRaw(p); ++n) {
        if (p.stream == reference_) {
            if (p.keyframe && (!found || (p.timed && p.start <= target))) {
                if (!p.timed || p.start > target)
                    break;
                found = true;
                // Decoding starts here: what came before leads up to this
                // keyframe only, or ends before the target anyway.
                std::erase_if(read, [&](const DemuxedPacket& q) {
                    return q.stream == reference_ || (q.timed && endsBefore(q, target));
                });
                // A keyframe that is the target's own picture is the last one
                // at or before it: the rest is read as it comes.
                if (p.stop > p.start && target < p.stop) {
                    read.push_back(std::move(p));
                    break;
                }
            } else if (!found) {
                continue;
            } else if (p.timed && p.start > target) {
                // Later pictures come after the target: no keyframe before
                // it follows.
                read.push_back(std::move(p));
                beyond = true;
                break;
            }
        }
        read.push_back(std::move(p));
    }
    if (!found)
        return false;
    if (beyond)
        showLastBefore(read, target);
    pending_ = std::move(read);
    return true;
}

void Demuxer::showLastBefore(std::deque<DemuxedPacket>& read, REFERENCE_TIME target)
{
    const auto covers = [&](const DemuxedPacket& q) {
        return q.stream == reference_ && q.timed && q.start <= target && (q.start == target || q.stop > target);
    };
    if (std::any_of(read.begin(), read.end(), covers))
        return;
    // Pictures stored after the first one beyond the target may be shown
    // before it, as many as B-pictures come in a row.
    const int reordered = format_->streams[reference_]->codecpar->video_delay + 4;
    DemuxedPacket p;
    for (int n = 0; n < reordered && readRaw(p);) {
        n += p.stream == reference_;
        const bool covering = covers(p);
        read.push_back(std::move(p));
        if (covering)
            return;
    }
    // No picture covers the target (a frame missing, or pictures that come
    // slower than the rate says): the last one before it is what shows
    // there. It is given the target's time, so that it is neither left
    // undecoded nor dropped as leading up to the target, and a step back
    // from it moves on.
    DemuxedPacket* last = nullptr;
    for (DemuxedPacket& q : read) {
        if (q.stream == reference_ && q.timed && q.stated && q.start < target && (!last || q.start > last->start))
            last = &q;
    }
    if (!last || last->stop <= last->start)
        return;
    last->stop += target - last->start;
    last->start = target;
}

HRESULT Demuxer::seek(REFERENCE_TIME target)
{
    pending_.clear();
    if (seekToKnownKeyframe(target) && readUpTo(target))
        return S_OK;
    // Else the container searches by time, from the target back by the
    // keyframe interval seen (a second before any), doubling, until it
    // lands before a keyframe at or before the target: reading is cheap
    // next to decoding, and the container may have landed after the target.
    const REFERENCE_TIME step = keyframeInterval_ > 0 ? keyframeInterval_ : kSecond;
    REFERENCE_TIME backoff = 0;
    for (int attempt = 0;; ++attempt) {
        const REFERENCE_TIME from = attempt > kBackoffLimit ? 0 : target - backoff;
        const bool atStart = from <= 0 || !seekBefore(from);
        if (atStart)
            seekToStart();
        if (readUpTo(target))
            return S_OK;
        if (atStart) {
            // Even the start was overshot (containers searched by time land
            // on the first time at or after the one asked for): the first
            // byte is the start. A file without a keyframe plays from there
            // as it comes.
            if (av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE) < 0)
                seekToStart();
            forgetReadingPlace();
            return S_OK;
        }
        backoff = backoff ? backoff * 2 : step;
    }
}

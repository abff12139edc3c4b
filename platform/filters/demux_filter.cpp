#include "platform/filters/demux_filter.h"

#include "platform/filters/demuxer.h"
#include "platform/filters/file_source.h"
#include "platform/filters/stream_types.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>

namespace {

// Packets one pin may hold for another before the reader waits for the
// other pin to take some.
constexpr std::size_t kMaxQueued = 4096;

enum StreamGroup : DWORD { groupVideo = 0, groupAudio = 1, groupSubtitle = 2 };

std::optional<StreamGroup> groupOf(const AM_MEDIA_TYPE& type)
{
    if (type.majortype == MEDIATYPE_Video)
        return groupVideo;
    if (type.majortype == MEDIATYPE_Audio)
        return groupAudio;
    if (type.majortype == MEDIATYPE_Subtitle)
        return groupSubtitle;
    return std::nullopt;
}

std::u16string groupName(StreamGroup group)
{
    switch (group) {
    case groupVideo:
        return u"Video";
    case groupAudio:
        return u"Audio";
    case groupSubtitle:
        return u"Subtitle";
    }
    return {};
}

// The name a person sees in a stream list: title, language and codec.
std::u16string streamName(const AVStream* stream, StreamGroup group, int number)
{
    QString name = QString::fromStdU16String(groupName(group));
    if (number > 1)
        name += QStringLiteral(" %1").arg(number);
    QStringList details;
    if (const AVDictionaryEntry* title = av_dict_get(stream->metadata, "title", nullptr, 0))
        details << QString::fromUtf8(title->value);
    if (const AVDictionaryEntry* lang = av_dict_get(stream->metadata, "language", nullptr, 0))
        details << QString::fromUtf8(lang->value);
    details << QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id));
    return (name + QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QStringLiteral(")")).toStdU16String();
}

} // namespace

class DemuxFilter;

// An output pin: the stream it carries now, and the packets read for it.
class DemuxPin final : public SourceStream
{
public:
    DemuxPin(DemuxFilter* filter, std::u16string name, StreamGroup group, std::vector<int> streams, int current,
             AM_MEDIA_TYPE type);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadStartPlay() override;

    const StreamGroup group;
    // The streams this pin may carry, and the one it carries.
    const std::vector<int> streams;
    int current;
    AM_MEDIA_TYPE type;

    // Guarded by the filter's demux lock.
    std::deque<DemuxedPacket> queue;
    bool ended = false;
    // A type to announce with the next sample after a stream change.
    std::optional<AM_MEDIA_TYPE> announce;
    bool first = true;
    // The filter's seek count when the pin's run began.
    uint64_t generation = 0;

private:
    DemuxFilter* demux_;
};

// The input pin of a splitter: pulls the byte stream of the file source.
class DemuxInputPin final : public BasePin
{
public:
    DemuxInputPin(DemuxFilter* filter);

    HRESULT Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT EndOfStream() override { return S_OK; }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;

private:
    DemuxFilter* demux_;
};

class DemuxFilter final : public WithInterfaces<BaseFilter, SourceSeeking, IAMStreamSelect, IFileSourceFilter>
{
public:
    explicit DemuxFilter(const DemuxClass& kind);

    HRESULT QueryInterface(REFIID riid, void** object) override;

    // IFileSourceFilter, for the sources.
    HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(std::u16string* fileName, AM_MEDIA_TYPE* type) override;

    // IAMStreamSelect
    HRESULT Count(DWORD* streams) override;
    HRESULT Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group, std::u16string* name,
                 IUnknown** object, IUnknown** unknown) override;
    HRESULT Enable(LONG index, DWORD flags) override;

    HRESULT Pause() override;

    int GetPinCount() override { return (input_ ? 1 : 0) + static_cast<int>(pins_.size()); }
    BasePin* GetPin(int index) override
    {
        if (input_ && index-- == 0)
            return input_.get();
        return index >= 0 && index < static_cast<int>(pins_.size()) ? pins_[static_cast<std::size_t>(index)].get()
                                                                    : nullptr;
    }

    const DemuxClass& kind() const { return kind_; }
    // Opens the container and makes the output pins; refuses a container
    // that is not the class's own.
    HRESULT open(std::unique_ptr<Demuxer> demuxer);
    // Disconnects and drops the output pins and the container.
    void close();

    HRESULT fill(DemuxPin* pin, IMediaSample* sample);
    // On a pin's streaming thread, as a run begins.
    void startRun(DemuxPin* pin);

protected:
    HRESULT ChangeStart() override;
    HRESULT ChangeStop() override;
    HRESULT ChangeRate() override;

private:
    ~DemuxFilter() override;
    // With the demux lock: the container goes to the start position, and
    // the rate applies, before any more packets are read.
    void requestSeekLocked();
    // With the demux lock, in the first run after a seek was asked for:
    // the container goes to `position`.
    void seekLocked(REFERENCE_TIME position);
    // Which pin takes the packets of each stream, and which streams the
    // container may skip.
    void routeStreams();
    DemuxPin* pinOf(int stream) const;

    const DemuxClass kind_;
    std::unique_ptr<DemuxInputPin> input_;
    std::u16string fileName_;

    std::mutex demuxLock_;
    std::condition_variable taken_;
    std::unique_ptr<Demuxer> demuxer_;
    std::vector<std::unique_ptr<DemuxPin>> pins_;
    // Pins of an earlier container: whoever walks the pins while the input
    // disconnects may still hold one, so they live as long as the filter.
    std::vector<std::unique_ptr<DemuxPin>> retired_;
    std::vector<DemuxPin*> owner_;
    // Streams that a pin may carry, in the order stream selection lists them.
    std::vector<int> selectable_;
    bool endOfFile_ = false;
    // Packets were read since the last seek.
    bool moved_ = false;
    // Seeks asked for so far: a run begun before the last one reads no more.
    uint64_t generation_ = 0;
    // A seek asked for and not made yet, its position and rate.
    bool seekPending_ = false;
    REFERENCE_TIME seekTo_ = 0;
    double seekRate_ = 1.0;
    // The segment the threads deliver: its start and rate.
    REFERENCE_TIME segmentStart_ = 0;
    double segmentRate_ = 1.0;
    std::atomic<REFERENCE_TIME> stopAt_{std::numeric_limits<REFERENCE_TIME>::max()};
};

// --- DemuxPin ----------------------------------------------------------------

DemuxPin::DemuxPin(DemuxFilter* filter, std::u16string name, StreamGroup group, std::vector<int> streams, int current,
                   AM_MEDIA_TYPE type)
    : SourceStream(filter, std::move(name)), group(group), streams(std::move(streams)), current(current),
      type(std::move(type)), demux_(filter)
{
}

HRESULT DemuxPin::CheckMediaType(const AM_MEDIA_TYPE* candidate)
{
    return candidate->majortype == type.majortype && candidate->subtype == type.subtype &&
                   candidate->formattype == type.formattype &&
                   (candidate->format.empty() || candidate->format == type.format)
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT DemuxPin::GetMediaType(int position, AM_MEDIA_TYPE* out)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *out = type;
    return S_OK;
}

HRESULT DemuxPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    LONG size = 64 * 1024;
    LONG count = 8;
    if (group == groupVideo && type.bFixedSizeSamples && type.lSampleSize > 0) {
        // Frames of one size (DV): exactly that.
        size = static_cast<LONG>(type.lSampleSize);
        count = 4;
    } else if (group == groupVideo) {
        // A compressed picture never outgrows the raw one.
        const BITMAPINFOHEADER* bmi = bitmapHeaderOf(type);
        if (bmi && (bmi->biWidth || bmi->biHeight)) {
            const LONG raw = pictureBytes(bmi->biWidth, std::abs(static_cast<int64_t>(bmi->biHeight)), 3);
            if (!raw)
                return VFW_E_INVALIDMEDIATYPE;
            size = raw + 64 * 1024;
        }
        if (type.lSampleSize > static_cast<ULONG>(size))
            size = static_cast<LONG>(std::min<ULONG>(type.lSampleSize, kMaxSampleBytes));
        count = 4;
    } else if (group == groupAudio) {
        size = 512 * 1024;
    }
    request->cBuffers = std::max(request->cBuffers, count);
    request->cbBuffer = std::max(request->cbBuffer, size);
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < size ? E_FAIL : S_OK;
}

HRESULT DemuxPin::OnThreadStartPlay()
{
    demux_->startRun(this);
    return S_OK;
}

HRESULT DemuxPin::FillBuffer(IMediaSample* sample)
{
    return demux_->fill(this, sample);
}

// --- DemuxInputPin -----------------------------------------------------------

DemuxInputPin::DemuxInputPin(DemuxFilter* filter) : BasePin(filter, u"Input", PINDIR_INPUT), demux_(filter) {}

HRESULT DemuxInputPin::CheckConnect(IPin* pin)
{
    const HRESULT hr = BasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    return ComPtr<IPin>(pin).as<IAsyncReader>() ? S_OK : E_NOINTERFACE;
}

HRESULT DemuxInputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    const auto& subtypes = demux_->kind().inputSubtypes;
    return type->majortype == MEDIATYPE_Stream &&
                   std::find(subtypes.begin(), subtypes.end(), type->subtype) != subtypes.end()
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT DemuxInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = S_OK;
    // The source has probed the stream: its subtype names the container.
    auto demuxer = Demuxer::open(ComPtr<IPin>(receivePin).as<IAsyncReader>(), &hr, streamFormatOf(mediaType().subtype));
    return demuxer ? demux_->open(std::move(demuxer)) : hr;
}

HRESULT DemuxInputPin::BreakConnect()
{
    demux_->close();
    return S_OK;
}

// --- DemuxFilter -------------------------------------------------------------

DemuxFilter::DemuxFilter(const DemuxClass& kind) : WithInterfaces(kind.classId, kind.name), kind_(kind)
{
    if (!kind_.inputSubtypes.empty())
        input_ = std::make_unique<DemuxInputPin>(this);
    // A seek starts at the keyframe before the target and marks what lies
    // before it as preroll, which the decoders decode and drop.
    capabilities_ |= AM_SEEKING_FrameAccurate;
}

DemuxFilter::~DemuxFilter()
{
    // The pins' threads read the container: they go first.
    pins_.clear();
}

HRESULT DemuxFilter::QueryInterface(REFIID riid, void** object)
{
    // A splitter takes its bytes from a source; it loads no file itself.
    if (input_ && riid == IFileSourceFilter::iid) {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    return WithInterfaces::QueryInterface(riid, object);
}

HRESULT DemuxFilter::open(std::unique_ptr<Demuxer> demuxer)
{
    const std::string format = demuxer->formatName();
    // FFmpeg names some containers as a list ("mov,mp4,m4a,3gp,3g2,mj2").
    const auto named = [&](std::string_view wanted) {
        std::string_view rest = format;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            if (rest.substr(0, comma) == wanted)
                return true;
            rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        }
        return false;
    };
    if (!kind_.formats.empty() && std::none_of(kind_.formats.begin(), kind_.formats.end(), named))
        return VFW_E_UNSUPPORTED_STREAM;

    // The types of the streams that a pin can carry.
    std::vector<AM_MEDIA_TYPE> types;
    std::vector<int> usable;
    for (int i = 0; i < demuxer->streamCount(); ++i) {
        const AVStream* s = demuxer->stream(i);
        if (s->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        AM_MEDIA_TYPE type = mediaTypeOf(s, demuxer->frameDuration(i));
        if (!groupOf(type))
            continue;
        usable.push_back(i);
        types.push_back(std::move(type));
    }
    if (usable.empty())
        return VFW_E_UNSUPPORTED_STREAM;

    std::lock_guard lock(filterLock());
    const auto typeOf = [&](int stream) {
        return types[static_cast<std::size_t>(std::find(usable.begin(), usable.end(), stream) - usable.begin())];
    };
    int numbers[3] = {0, 0, 0};
    if (input_) {
        // A splitter: one pin per stream.
        for (int stream : usable) {
            const StreamGroup group = *groupOf(typeOf(stream));
            const int number = ++numbers[group];
            std::u16string name = groupName(group);
            if (number > 1)
                name += u" " + QString::number(number).toStdU16String();
            pins_.push_back(
                std::make_unique<DemuxPin>(this, std::move(name), group, std::vector{stream}, stream, typeOf(stream)));
        }
    } else {
        // A source: one pin per kind, carrying the best stream of that kind.
        for (StreamGroup group : {groupVideo, groupAudio, groupSubtitle}) {
            std::vector<int> members;
            for (int stream : usable) {
                if (groupOf(typeOf(stream)) == group)
                    members.push_back(stream);
            }
            if (members.empty())
                continue;
            int best = demuxer->bestStream(group == groupVideo   ? AVMEDIA_TYPE_VIDEO
                                           : group == groupAudio ? AVMEDIA_TYPE_AUDIO
                                                                 : AVMEDIA_TYPE_SUBTITLE);
            if (std::find(members.begin(), members.end(), best) == members.end())
                best = members.front();
            pins_.push_back(std::make_unique<DemuxPin>(this, groupName(group), group, members, best, typeOf(best)));
        }
    }
    selectable_ = std::move(usable);
    {
        std::lock_guard demux(demuxLock_);
        demuxer_ = std::move(demuxer);
        owner_.assign(static_cast<std::size_t>(demuxer_->streamCount()), nullptr);
        endOfFile_ = moved_ = seekPending_ = false;
        segmentStart_ = 0;
    }
    start_ = 0;
    setDuration(demuxer_->duration());
    setLastFrameStart(demuxer_->lastFrameStart());
    stop_ = duration_;
    stopAt_ = std::numeric_limits<REFERENCE_TIME>::max();
    return S_OK;
}

void DemuxFilter::close()
{
    std::lock_guard lock(filterLock());
    for (const auto& pin : pins_) {
        if (const ComPtr<IPin> peer = pin->connected()) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    std::move(pins_.begin(), pins_.end(), std::back_inserter(retired_));
    pins_.clear();
    selectable_.clear();
    std::lock_guard demux(demuxLock_);
    owner_.clear();
    demuxer_.reset();
}

HRESULT DemuxFilter::Load(LPCWSTR fileName, const AM_MEDIA_TYPE*)
{
    if (!fileName)
        return E_POINTER;
    std::lock_guard lock(filterLock());
    if (demuxer_)
        return E_UNEXPECTED;
    HRESULT hr = S_OK;
    auto demuxer = Demuxer::open(QString::fromStdU16String(fileName), &hr);
    if (!demuxer)
        return hr;
    hr = open(std::move(demuxer));
    if (SUCCEEDED(hr))
        fileName_ = fileName;
    return hr;
}

HRESULT DemuxFilter::GetCurFile(std::u16string* fileName, AM_MEDIA_TYPE* type)
{
    if (!fileName)
        return E_POINTER;
    if (fileName_.empty())
        return E_FAIL;
    *fileName = fileName_;
    if (type)
        *type = AM_MEDIA_TYPE{};
    return S_OK;
}

DemuxPin* DemuxFilter::pinOf(int stream) const
{
    for (const auto& pin : pins_) {
        if (std::find(pin->streams.begin(), pin->streams.end(), stream) != pin->streams.end())
            return pin.get();
    }
    return nullptr;
}

void DemuxFilter::routeStreams()
{
    std::fill(owner_.begin(), owner_.end(), nullptr);
    for (const auto& pin : pins_) {
        if (pin->isConnected())
            owner_[static_cast<std::size_t>(pin->current)] = pin.get();
    }
    for (std::size_t i = 0; i < owner_.size(); ++i)
        demuxer_->setWanted(static_cast<int>(i), owner_[i] != nullptr);
}

HRESULT DemuxFilter::Pause()
{
    std::lock_guard lock(filterLock());
    if (state() == State_Stopped && demuxer_) {
        std::lock_guard demux(demuxLock_);
        routeStreams();
        // Streaming starts again where the last seek put it, at the rate
        // set now.
        if (moved_ || seekPending_)
            requestSeekLocked();
        segmentRate_ = rate_;
    }
    return BaseFilter::Pause();
}

void DemuxFilter::requestSeekLocked()
{
    ++generation_;
    seekPending_ = true;
    seekTo_ = start_;
    seekRate_ = rate_;
}

void DemuxFilter::seekLocked(REFERENCE_TIME position)
{
    demuxer_->seek(position);
    for (const auto& pin : pins_) {
        pin->queue.clear();
        pin->ended = false;
    }
    endOfFile_ = moved_ = seekPending_ = false;
    segmentStart_ = position;
    segmentRate_ = seekRate_;
}

void DemuxFilter::startRun(DemuxPin* pin)
{
    std::lock_guard demux(demuxLock_);
    pin->generation = generation_;
    pin->first = true;
}

HRESULT DemuxFilter::ChangeStart()
{
    std::lock_guard lock(filterLock());
    if (!demuxer_)
        return E_UNEXPECTED;
    // The streaming threads move the container themselves: the first run
    // after this reads from the new position. Runs begun before read
    // nothing more once their pins are told to stop, which happens under
    // the same lock.
    std::lock_guard demux(demuxLock_);
    requestSeekLocked();
    for (const auto& pin : pins_)
        pin->Reposition(nullptr, start_, stop_, rate_);
    // A run waiting for another pin to take its packets ends now.
    taken_.notify_all();
    return S_OK;
}

HRESULT DemuxFilter::ChangeStop()
{
    stopAt_ = stop_ >= duration_ ? std::numeric_limits<REFERENCE_TIME>::max() : stop_;
    return S_OK;
}

HRESULT DemuxFilter::ChangeRate()
{
    // The new rate times the samples of the next segment.
    return S_OK;
}

HRESULT DemuxFilter::fill(DemuxPin* pin, IMediaSample* sample)
{
    std::unique_lock lock(demuxLock_);
    DemuxedPacket p;
    for (;;) {
        if (pin->stopRequested() || pin->generation != generation_)
            return S_FALSE;
        if (seekPending_)
            seekLocked(seekTo_);
        if (!pin->queue.empty()) {
            p = std::move(pin->queue.front());
            pin->queue.pop_front();
            taken_.notify_all();
            break;
        }
        if (pin->ended || endOfFile_)
            return S_FALSE;
        DemuxedPacket read;
        if (!demuxer_->read(read)) {
            endOfFile_ = true;
            taken_.notify_all();
            continue;
        }
        moved_ = true;
        const auto stream = static_cast<std::size_t>(read.stream);
        DemuxPin* owner = stream < owner_.size() ? owner_[stream] : nullptr;
        if (!owner)
            continue;
        if (read.timed && read.start >= stopAt_.load()) {
            owner->ended = true;
            continue;
        }
        owner->queue.push_back(std::move(read));
        while (owner != pin && owner->queue.size() >= kMaxQueued && !pin->stopRequested())
            taken_.wait_for(lock, std::chrono::milliseconds(20));
    }
    const REFERENCE_TIME segment = segmentStart_;
    const double rate = segmentRate_;
    const bool first = std::exchange(pin->first, false);
    std::optional<AM_MEDIA_TYPE> announce = std::exchange(pin->announce, std::nullopt);
    lock.unlock();

    // The packet's own bytes go downstream; a sample not of our allocator
    // takes a copy.
    const LONG size = p.packet->size;
    if (MediaSample* own = MediaSample::of(sample); own && p.packet->buf) {
        BYTE* data = p.packet->data;
        own->lend(std::make_shared<av::LentPacket>(std::move(p.packet)), data, size);
    } else {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (size > sample->GetSize())
            return VFW_E_BUFFER_OVERFLOW;
        std::memcpy(data, p.packet->data, static_cast<std::size_t>(size));
    }
    sample->SetActualDataLength(size);
    if (p.timed) {
        const auto scaled = [&](REFERENCE_TIME t) {
            return static_cast<REFERENCE_TIME>(static_cast<double>(t - segment) / rate);
        };
        REFERENCE_TIME start = scaled(p.start);
        REFERENCE_TIME stop = scaled(p.stop);
        sample->SetTime(&start, p.stop > p.start ? &stop : nullptr);
        // Preroll only where the packet's own time says so: the decoder
        // may then leave its unreferenced pictures undecoded.
        sample->SetPreroll(p.stated && endsBefore(p, segment));
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    sample->SetSyncPoint(p.keyframe);
    sample->SetDiscontinuity(first);
    if (announce)
        sample->SetMediaType(&*announce);
    return S_OK;
}

// --- stream selection --------------------------------------------------------

HRESULT DemuxFilter::Count(DWORD* streams)
{
    if (!streams)
        return E_POINTER;
    std::lock_guard lock(filterLock());
    *streams = static_cast<DWORD>(selectable_.size());
    return S_OK;
}

HRESULT DemuxFilter::Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group,
                          std::u16string* name, IUnknown** object, IUnknown** unknown)
{
    std::lock_guard lock(filterLock());
    if (index < 0 || static_cast<std::size_t>(index) >= selectable_.size())
        return S_FALSE;
    const int stream = selectable_[static_cast<std::size_t>(index)];
    DemuxPin* pin = pinOf(stream);
    const AVStream* s = demuxer_->stream(stream);
    const AM_MEDIA_TYPE mt = mediaTypeOf(s, demuxer_->frameDuration(stream));
    if (type)
        *type = CreateMediaType(mt);
    if (flags)
        *flags = pin->current == stream ? AMSTREAMSELECTINFO_ENABLED | AMSTREAMSELECTINFO_EXCLUSIVE : 0;
    if (lcid)
        *lcid = 0;
    if (group)
        *group = pin->group;
    if (name) {
        const auto position = std::find(pin->streams.begin(), pin->streams.end(), stream) - pin->streams.begin();
        *name = streamName(s, pin->group, input_ ? 0 : static_cast<int>(position) + 1);
    }
    if (object) {
        *object = static_cast<IPin*>(pin);
        (*object)->AddRef();
    }
    if (unknown)
        *unknown = nullptr;
    return S_OK;
}

HRESULT DemuxFilter::Enable(LONG index, DWORD flags)
{
    std::lock_guard lock(filterLock());
    if (index < 0 || static_cast<std::size_t>(index) >= selectable_.size())
        return E_INVALIDARG;
    // Each pin carries exactly one stream: a stream is enabled by enabling
    // another one of its pin.
    if (!(flags & AMSTREAMSELECTENABLE_ENABLE))
        return E_NOTIMPL;
    const int stream = selectable_[static_cast<std::size_t>(index)];
    DemuxPin* pin = pinOf(stream);
    if (pin->current == stream)
        return S_OK;
    if (state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    AM_MEDIA_TYPE next = mediaTypeOf(demuxer_->stream(stream), demuxer_->frameDuration(stream));
    const ComPtr<IPin> peer = pin->connected();
    pin->current = stream;
    pin->type = next;
    if (peer) {
        if (peer->QueryAccept(&next) == S_OK) {
            std::lock_guard demux(demuxLock_);
            pin->announce = next;
        } else if (IFilterGraph* graph = this->graph()) {
            // Downstream must take the new type on a new connection.
            graph->Disconnect(peer.get());
            graph->Disconnect(pin);
            const HRESULT hr = graph->ConnectDirect(pin, peer.get(), nullptr);
            if (FAILED(hr))
                return hr;
        }
    }
    // The new stream starts where the others are.
    std::lock_guard demux(demuxLock_);
    moved_ = true;
    return S_OK;
}

ComPtr<IBaseFilter> createDemuxFilter(const DemuxClass& kind)
{
    return makeCom<DemuxFilter>(kind);
}

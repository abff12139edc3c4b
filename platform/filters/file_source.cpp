#include "platform/filters/file_source.h"

#include "platform/filters/av_util.h"
#include "platform/graph/media_guids.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

// A file opened for reading by position, shared by every reader thread.
class FileHandle
{
public:
    explicit FileHandle(const QString& name) : fd_(::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC)) {}
    ~FileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    LONGLONG size() const
    {
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        return end < 0 ? 0 : end;
    }
    // Bytes read, or -1 on an error.
    long read(LONGLONG position, LONG length, BYTE* buffer) const
    {
        long done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd_, buffer + done, static_cast<size_t>(length - done), position + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

private:
    int fd_;
};

class FileSourcePin;

// FFmpeg's names of the containers that the subtypes stand for.
struct NamedSubtype
{
    std::string_view format;
    GUID subtype;
};
constexpr NamedSubtype kNamedSubtypes[] = {
    {"avi", MEDIASUBTYPE_Avi},
    {"wav", MEDIASUBTYPE_WAVE},
    {"mpegts", MEDIASUBTYPE_MPEG2_TRANSPORT},
    {"mpegvideo", MEDIASUBTYPE_MPEG1Video},
    {"mpeg", MEDIASUBTYPE_MPEG1System},
    {"mpeg", MEDIASUBTYPE_MPEG2_PROGRAM},
};

} // namespace

const AVInputFormat* streamFormatOf(const GUID& subtype)
{
    for (const NamedSubtype& named : kNamedSubtypes)
        if (named.subtype == subtype)
            return av_find_input_format(std::string(named.format).c_str());
    return nullptr;
}

GUID streamSubtypeOf(IAsyncReader* reader)
{
    constexpr LONG kHead = 8192;
    std::array<BYTE, kHead> head{};
    LONG read = 0;
    if (FAILED(reader->SyncRead(0, kHead, head.data(), &read)) || read <= 0)
        return GUID_NULL;
    // As FFmpeg probes a file it opens: the first 2 KB, then twice as much
    // while no container is sure, and at the end any container at all.
    const AVInputFormat* format = nullptr;
    std::array<BYTE, kHead + AVPROBE_PADDING_SIZE> padded{};
    for (LONG size = 2048; !format; size *= 2) {
        const bool last = size >= read;
        AVProbeData probe{};
        // The probe wants zeroed padding after the bytes.
        std::copy_n(head.begin(), std::min(size, read), padded.begin());
        std::fill_n(padded.begin() + std::min(size, read), AVPROBE_PADDING_SIZE, BYTE{0});
        probe.buf = padded.data();
        probe.buf_size = std::min(size, read);
        probe.filename = "";
        int score = last ? 0 : AVPROBE_SCORE_RETRY;
        format = av_probe_input_format2(&probe, 1, &score);
        if (last)
            break;
    }
    if (!format)
        return GUID_NULL;
    const std::string_view name = format->name;
    if (name == "mpeg") {
        // The pack header tells the two systems apart: '01' begins an
        // MPEG-2 pack, '0010' an MPEG-1 pack.
        for (LONG i = 0; i + 4 < read; ++i) {
            if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1 && head[i + 3] == 0xBA)
                return (head[i + 4] & 0xC0) == 0x40 ? MEDIASUBTYPE_MPEG2_PROGRAM : MEDIASUBTYPE_MPEG1System;
        }
        return MEDIASUBTYPE_MPEG2_PROGRAM;
    }
    for (const NamedSubtype& named : kNamedSubtypes)
        if (named.format == name)
            return named.subtype;
    return GUID_NULL;
}

class AsyncFileSource final : public WithInterfaces<BaseFilter, IFileSourceFilter>
{
public:
    AsyncFileSource();

    HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(std::u16string* fileName, AM_MEDIA_TYPE* type) override;

    int GetPinCount() override;
    BasePin* GetPin(int index) override;

private:
    ~AsyncFileSource() override;

    std::u16string fileName_;
    std::unique_ptr<FileSourcePin> pin_;
};

namespace {

class FileSourcePin final : public BasePin, public IAsyncReader
{
public:
    FileSourcePin(BaseFilter* filter, std::unique_ptr<FileHandle> file)
        : BasePin(filter, u"Output", PINDIR_OUTPUT), file_(std::move(file)), size_(file_->size())
    {
        type_.majortype = MEDIATYPE_Stream;
        type_.formattype = FORMAT_None;
        type_.bFixedSizeSamples = TRUE;
        type_.bTemporalCompression = FALSE;
        type_.lSampleSize = 1;
        type_.subtype = streamSubtypeOf(this);
    }

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (object && riid == IAsyncReader::iid) {
            *object = static_cast<IAsyncReader*>(this);
            AddRef();
            return S_OK;
        }
        return BasePin::QueryInterface(riid, object);
    }
    ULONG AddRef() override { return filter_->AddRef(); }
    ULONG Release() override { return filter_->Release(); }

    // The reader is pulled: nothing streams through the pin itself.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }
    HRESULT ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == type_.majortype && (type->subtype.isNull() || type->subtype == type_.subtype)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        *type = type_;
        return S_OK;
    }

    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer, LONG* read) override
    {
        if (!buffer || !read)
            return E_POINTER;
        *read = 0;
        if (position < 0 || length < 0)
            return E_INVALIDARG;
        const long n = file_->read(position, length, buffer);
        if (n < 0)
            return E_FAIL;
        *read = static_cast<LONG>(n);
        return n == length ? S_OK : S_FALSE;
    }
    HRESULT Length(LONGLONG* total, LONGLONG* available) override
    {
        if (total)
            *total = size_;
        if (available)
            *available = size_;
        return S_OK;
    }

private:
    std::unique_ptr<FileHandle> file_;
    const LONGLONG size_;
    AM_MEDIA_TYPE type_;
};

} // namespace

AsyncFileSource::AsyncFileSource() : WithInterfaces(CLSID_AsyncReader, u"File Source (Async.)") {}

AsyncFileSource::~AsyncFileSource() = default;

HRESULT AsyncFileSource::Load(LPCWSTR fileName, const AM_MEDIA_TYPE*)
{
    if (!fileName)
        return E_POINTER;
    std::lock_guard lock(filterLock());
    if (pin_)
        return E_UNEXPECTED;
    const std::u16string name(fileName);
    auto file = std::make_unique<FileHandle>(QString::fromStdU16String(name));
    if (!file->isOpen())
        return VFW_E_NOT_FOUND;
    fileName_ = name;
    pin_ = std::make_unique<FileSourcePin>(this, std::move(file));
    return S_OK;
}

HRESULT AsyncFileSource::GetCurFile(std::u16string* fileName, AM_MEDIA_TYPE* type)
{
    if (!fileName)
        return E_POINTER;
    std::lock_guard lock(filterLock());
    if (!pin_)
        return E_FAIL;
    *fileName = fileName_;
    if (type)
        pin_->GetMediaType(0, type);
    return S_OK;
}

int AsyncFileSource::GetPinCount()
{
    return pin_ ? 1 : 0;
}

BasePin* AsyncFileSource::GetPin(int index)
{
    return index == 0 ? pin_.get() : nullptr;
}

ComPtr<IBaseFilter> createAsyncFileSource()
{
    return makeCom<AsyncFileSource>();
}

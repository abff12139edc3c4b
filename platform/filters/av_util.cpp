#include "platform/filters/av_util.h"

namespace av {

HRESULT toHResult(int averror)
{
    if (averror >= 0)
        return S_OK;
    switch (averror) {
    case AVERROR(ENOMEM):
        return E_OUTOFMEMORY;
    case AVERROR(EINVAL):
        return E_INVALIDARG;
    case AVERROR_INVALIDDATA:
        return VFW_E_INVALIDMEDIATYPE;
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_DEMUXER_NOT_FOUND:
        return VFW_E_UNSUPPORTED_STREAM;
    default:
        return E_FAIL;
    }
}

} // namespace av

#include "platform/graph/media_type.h"

#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"

bool AM_MEDIA_TYPE::matchesPartial(const AM_MEDIA_TYPE& pattern) const
{
    if (!pattern.majortype.isNull() && pattern.majortype != majortype)
        return false;
    if (!pattern.subtype.isNull() && pattern.subtype != subtype)
        return false;
    if (!pattern.formattype.isNull()) {
        if (pattern.formattype != formattype)
            return false;
        if (!pattern.format.empty() && pattern.format != format)
            return false;
    }
    return true;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& source)
{
    return new AM_MEDIA_TYPE(source);
}

void DeleteMediaType(AM_MEDIA_TYPE* type)
{
    delete type;
}

void FreeMediaType(AM_MEDIA_TYPE& type)
{
    type.format.clear();
    type.format.shrink_to_fit();
}

void CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (target && source)
        *target = *source;
}

AM_MEDIA_TYPE pcmAudioType(WORD channels, DWORD samplesPerSec)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    auto* wfx = type.allocFormat<WAVEFORMATEX>();
    wfx->wFormatTag = WAVE_FORMAT_PCM;
    wfx->nChannels = channels;
    wfx->nSamplesPerSec = samplesPerSec;
    wfx->wBitsPerSample = 16;
    wfx->nBlockAlign = static_cast<WORD>(channels * 2);
    wfx->nAvgBytesPerSec = samplesPerSec * wfx->nBlockAlign;
    type.lSampleSize = wfx->nBlockAlign;
    return type;
}

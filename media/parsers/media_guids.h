#pragma once
// The media type, subtype and format identifiers that the format readers
// compare against, with their usual values.

#include "platform/core/guid.h"

inline constexpr GUID MEDIATYPE_Video = "{73646976-0000-0010-8000-00AA00389B71}"_guid;
inline constexpr GUID MEDIATYPE_Audio = "{73647561-0000-0010-8000-00AA00389B71}"_guid;

inline constexpr GUID MEDIASUBTYPE_dvsd = GUID::fromFourCC(makeFourCC('d', 'v', 's', 'd'));
inline constexpr GUID MEDIASUBTYPE_RGB1 = "{E436EB78-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_RGB4 = "{E436EB79-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_RGB8 = "{E436EB7A-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_RGB565 = "{E436EB7B-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_RGB555 = "{E436EB7C-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_RGB24 = "{E436EB7D-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_RGB32 = "{E436EB7E-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_MPEG1Packet = "{E436EB80-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_MPEG1Payload = "{E436EB81-524F-11CE-9F53-0020AF0BA770}"_guid;
inline constexpr GUID MEDIASUBTYPE_MPEG1AudioPayload = GUID::fromFourCC(0x50);
inline constexpr GUID MEDIASUBTYPE_PCM = GUID::fromFourCC(1);
inline constexpr GUID MEDIASUBTYPE_MPEG2_AUDIO = "{E06D802B-DB46-11CF-B4D1-00805F6CBBEA}"_guid;
inline constexpr GUID MEDIASUBTYPE_DOLBY_AC3 = "{E06D802C-DB46-11CF-B4D1-00805F6CBBEA}"_guid;
inline constexpr GUID MEDIASUBTYPE_DVD_LPCM_AUDIO = "{E06D8032-DB46-11CF-B4D1-00805F6CBBEA}"_guid;

inline constexpr GUID FORMAT_VideoInfo = "{05589F80-C356-11CE-BF01-00AA0055595A}"_guid;
inline constexpr GUID FORMAT_WaveFormatEx = "{05589F81-C356-11CE-BF01-00AA0055595A}"_guid;
inline constexpr GUID FORMAT_MPEGVideo = "{05589F82-C356-11CE-BF01-00AA0055595A}"_guid;
inline constexpr GUID FORMAT_VideoInfo2 = "{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}"_guid;
inline constexpr GUID FORMAT_MPEG2Video = "{E06D80E3-DB46-11CF-B4D1-00805F6CBBEA}"_guid;

#pragma once
// The class ids the private filter module serves and the program asks it for.

#include "platform/core/guid.h"

constexpr CLSID CLSID_PrivateSplitterSource = "{B98D13E7-55DB-4385-A33D-09FD1BA26338}"_guid;
constexpr CLSID CLSID_PrivateSplitter = "{171252A0-8820-4AFE-9DF8-5C92B2D66B04}"_guid;
constexpr CLSID CLSID_PrivateAudioDecoder = "{E8E73B6B-4CB3-44A4-BE99-4F7BCB96E491}"_guid;
constexpr CLSID CLSID_PrivateVideoDecoder = "{EE30215D-164F-4A92-A4EB-9D4C13390F9F}"_guid;

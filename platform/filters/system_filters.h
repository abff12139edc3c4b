#pragma once
// The system filters and their registration: each class id below can be
// created through CoCreateInstance once RegisterSystemFilters has run, and
// the filter mapper knows which of them take which media types.

#include "platform/filters/decoders.h"
#include "platform/filters/dv_splitter.h"
#include "platform/filters/file_source.h"

constexpr CLSID CLSID_AviSplitter = "{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"_guid;
constexpr CLSID CLSID_MPEG2Splitter = "{3AE86B20-7BE8-11D1-ABE6-00A0C905F375}"_guid;
constexpr CLSID CLSID_MPEG1Splitter = "{336475D0-942A-11CE-A870-00AA002FEAB5}"_guid;
constexpr CLSID CLSID_WAVEParser = "{D51BD5A1-7548-11CF-A520-0080C77EF58A}"_guid;
// The preferred source: a source and splitter in one for every container
// FFmpeg reads, with stream selection.
constexpr CLSID CLSID_PreferredSource = "{B98D13E7-55DB-4385-A33D-09FD1BA26338}"_guid;
constexpr CLSID CLSID_WMAsfReader = "{187463A0-5BB7-11D3-ACBE-0080C75E246E}"_guid;

// Registers every system filter class and its filter-mapper entry. Safe to
// call more than once.
void RegisterSystemFilters();

#pragma once
// The interface and class ids of the test module.

#include "platform/core/unknown.h"

struct IThing : IUnknown
{
    static constexpr GUID iid = "{6B1D7E20-3C4A-4F0E-9A51-2D8E6F0C1A01}"_guid;
    virtual int answer() = 0;
};

constexpr CLSID CLSID_Thing = "{6B1D7E20-3C4A-4F0E-9A51-2D8E6F0C1A02}"_guid;
// A class the module knows but whose factory fails to make objects.
constexpr CLSID CLSID_BrokenThing = "{6B1D7E20-3C4A-4F0E-9A51-2D8E6F0C1A03}"_guid;
// A class whose entry point claims success but hands out no factory.
constexpr CLSID CLSID_EmptyThing = "{6B1D7E20-3C4A-4F0E-9A51-2D8E6F0C1A04}"_guid;

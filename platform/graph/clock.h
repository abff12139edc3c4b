#pragma once
// The system reference clock: the steady clock in 100-ns units.

#include "platform/graph/interfaces.h"

class SystemClock final : public ComObject<IReferenceClock>
{
public:
    HRESULT GetTime(REFERENCE_TIME* time) override;
};

#pragma once
// The capture graph builder: finds pins by direction, category and major
// type, and renders a stream through an optional intermediate filter.

#include "platform/graph/interfaces.h"

class CaptureGraphBuilder final : public ComObject<ICaptureGraphBuilder2>
{
public:
    HRESULT SetFiltergraph(IGraphBuilder* graph) override;
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid,
                          void** object) override;
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                         IBaseFilter* sink) override;
    HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type, BOOL unconnected,
                    int index, IPin** pin) override;

private:
    ComPtr<IGraphBuilder> graph_;
};

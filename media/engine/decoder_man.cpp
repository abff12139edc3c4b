#include "media/engine/decoder_man.h"

#include "platform/graph/pin_walk.h"

bool TDecoderMan::ConnectWithDecoder(IBaseFilter* source, IBaseFilter* target)
{
    if (!FGrapheMan || !FGrapheMan->GraphBuilder() || !source || !target)
        return false;
    const ComPtr<IPin> output = firstFreePin(source, PINDIR_OUTPUT);
    const ComPtr<IPin> input = firstFreePin(target, PINDIR_INPUT);
    return output && input && SUCCEEDED(FGrapheMan->GraphBuilder()->Connect(output.get(), input.get()));
}

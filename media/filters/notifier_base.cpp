#include "media/filters/notifier_base.h"

NotifierBase::NotifierBase(const CLSID& classId, std::u16string name) : TBCTransInPlaceFilter(classId, std::move(name))
{
}

HRESULT NotifierBase::CheckInputType(const AM_MEDIA_TYPE* typeIn)
{
    if (!typeIn)
        return E_POINTER;
    return typeIn->matchesPartial(acceptedType()) ? S_OK : E_FAIL;
}

HRESULT NotifierBase::CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut)
{
    return typeIn->majortype == typeOut->majortype && typeIn->subtype == typeOut->subtype ? S_OK
                                                                                          : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT NotifierBase::CompleteConnect(PIN_DIRECTION direction, IPin*)
{
    if (direction == PINDIR_INPUT)
        setAcceptedType(input()->mediaType());
    return S_OK;
}

HRESULT NotifierBase::StartStreaming()
{
    if (input()->isConnected())
        setAcceptedType(input()->mediaType());
    ownToken_.reset();
    return S_OK;
}

HRESULT NotifierBase::Stop()
{
    if (!cancelToken())
        ownToken_.fire();
    return TBCTransInPlaceFilter::Stop();
}

AM_MEDIA_TYPE NotifierBase::acceptedType() const
{
    std::lock_guard lock(typeLock_);
    AM_MEDIA_TYPE type;
    type.majortype = majortype_;
    type.subtype = subtype_;
    type.formattype = formattype_;
    return type;
}

void NotifierBase::setAcceptedType(const AM_MEDIA_TYPE& type)
{
    std::lock_guard lock(typeLock_);
    majortype_ = type.majortype;
    subtype_ = type.subtype;
    formattype_ = type.formattype;
}

CancelToken* NotifierBase::releaseToken()
{
    CancelToken* graphToken = cancelToken();
    return graphToken ? graphToken : &ownToken_;
}

#pragma once
// The decoder manager puts a decoder between a stream and its renderer. For
// now the graph's automatic connection picks the decoder among the system
// filters.

#include "media/engine/graphe_man.h"

#include <QObject>
#include <QPointer>

class TDecoderMan : public QObject
{
    Q_OBJECT
public:
    explicit TDecoderMan(QObject* owner = nullptr) : QObject(owner) {}

    TGrapheMan* GrapheMan() const { return FGrapheMan.data(); }
    void SetGrapheMan(TGrapheMan* manager) { FGrapheMan = manager; }

    // Connects the first free output of `source` to the first free input of
    // `target`, through whatever decoder it takes.
    virtual bool ConnectWithDecoder(IBaseFilter* source, IBaseFilter* target);

private:
    QPointer<TGrapheMan> FGrapheMan;
};

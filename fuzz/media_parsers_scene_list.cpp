// Any bytes as a scene list file.
#include "media/parsers/scenes.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    buffer.open(QIODevice::ReadOnly);
    TScenesList list;
    list.LoadFromDevice(buffer, QStringLiteral("fuzz.scn"));
    // Every scene takes at least 30 bytes of the file.
    if (static_cast<std::size_t>(list.Count()) * 30 > size + 30)
        std::abort();
    list.NextSceneStart(0, -1);
    list.PrevSceneStart(-1);
    return 0;
}

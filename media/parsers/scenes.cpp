#include "media/parsers/scenes.h"

#include <QFile>
#include <QtEndian>

namespace {

// Reads the items of a scene list file; every read fails once the data ends.
class SceneReader
{
public:
    explicit SceneReader(QIODevice& device) : device_(device) {}

    bool skip(qint64 n) { return device_.bytesAvailable() >= n && device_.skip(n) == n; }

    bool byte(quint8& value) { return device_.getChar(reinterpret_cast<char*>(&value)); }

    bool word(quint16& value) { return readLE(value); }

    bool dword(qint32& value) { return readLE(value); }

    bool dwords(int count)
    {
        qint32 ignored;
        for (int i = 0; i < count; ++i) {
            if (!dword(ignored))
                return false;
        }
        return true;
    }

    // A length-prefixed string, passed over. A length byte of 255 brings a
    // big-endian 16-bit length; one of 0xFEFF or more marks a wide string,
    // whose count of two-byte characters follows in the same way.
    bool string()
    {
        quint8 len;
        if (!byte(len))
            return false;
        if (len < 255)
            return skip(len);
        quint16 wide;
        if (!bigEndianWord(wide))
            return false;
        if (wide < 0xFEFF)
            return skip(wide);
        quint8 chars;
        if (!byte(chars))
            return false;
        if (chars < 255)
            return skip(2 * qint64(chars));
        quint16 longChars;
        return bigEndianWord(longChars) && skip(2 * qint64(longChars));
    }

private:
    template <typename T> bool readLE(T& value)
    {
        uchar bytes[sizeof(T)];
        if (device_.read(reinterpret_cast<char*>(bytes), sizeof(T)) != sizeof(T))
            return false;
        value = qFromLittleEndian<T>(bytes);
        return true;
    }

    bool bigEndianWord(quint16& value)
    {
        quint8 hi, lo;
        if (!byte(hi) || !byte(lo))
            return false;
        value = quint16(hi << 8 | lo);
        return true;
    }

    QIODevice& device_;
};

constexpr quint8 kExtraDword = 0x40;  // in flags B
constexpr quint8 kExtraString = 0x80; // in flags A

// The optional items at the end of every scene.
bool readExtras(SceneReader& in, quint8 flagsA, quint8 flagsB)
{
    qint32 ignored;
    return (!(flagsB & kExtraDword) || in.dword(ignored)) && (!(flagsA & kExtraString) || in.string());
}

} // namespace

bool TScenesList::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    return LoadFromDevice(file, path);
}

bool TScenesList::LoadFromDevice(QIODevice& device, const QString& fileName)
{
    // The list describes this file from now on, even if its header is cut short.
    scenes_.clear();
    SceneReader in(device);
    quint16 count;
    quint8 flagsA, flagsB;
    TScene scene{fileName, 0, 0};
    qint32 ignored;
    if (!in.skip(24) || !in.string() || !in.skip(8) || !in.word(count) || !in.skip(11) || !in.byte(flagsA) ||
        !in.byte(flagsB) || !in.skip(12) || !in.string() || !in.dword(scene.startFrame) ||
        !in.dword(scene.secondValue) || !in.skip(6) || !in.string() || !in.skip(8) || !in.dword(ignored) ||
        !readExtras(in, flagsA, flagsB))
        return false;
    scenes_.push_back(scene);

    for (int i = 0; i < count; ++i) {
        if (!in.skip(3) || !in.byte(flagsA) || !in.byte(flagsB) || !in.skip(3) || !in.string() ||
            !in.dword(scene.startFrame) || !in.dword(scene.secondValue) || !in.skip(6) || !in.dwords(3) ||
            !readExtras(in, flagsA, flagsB))
            return false;
        scenes_.push_back(scene);
    }
    return true;
}

const TScene* TScenesList::GetScene(int index) const
{
    return index >= 0 && index < Count() ? &scenes_[static_cast<std::size_t>(index)] : nullptr;
}

std::int32_t TScenesList::NextSceneStart(std::int32_t frame, std::int32_t defaultFrame) const
{
    for (const TScene& scene : scenes_) {
        if (scene.startFrame >= 0 && scene.startFrame > frame)
            return scene.startFrame;
    }
    return defaultFrame;
}

std::int32_t TScenesList::PrevSceneStart(std::int32_t frame) const
{
    // The frame compares as unsigned, so a negative frame comes after every start.
    for (auto it = scenes_.rbegin(); it != scenes_.rend(); ++it) {
        if (it->startFrame < 0 || static_cast<std::uint32_t>(it->startFrame) < static_cast<std::uint32_t>(frame))
            return it->startFrame;
    }
    return 0;
}

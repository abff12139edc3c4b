#pragma once
// The scene list that another program may write beside a video (same name,
// extension ".scn"): where each scene of the video starts, in frames.

#include <QString>

#include <cstdint>
#include <vector>

class QIODevice;

class TScene
{
public:
    QString fileName; // the scene list file it came from
    std::int32_t startFrame = 0;
    std::int32_t secondValue = 0; // kept as read, not used
};

class TScenesList
{
public:
    // Reads the scene list file; False when it does not exist (the list
    // stays as it was) or when it ends early or cannot be read (the scenes
    // read before stay).
    bool LoadFromFile(const QString& path);
    // The same from any device; fileName goes into every scene.
    bool LoadFromDevice(QIODevice& device, const QString& fileName);

    void Clear() { scenes_.clear(); }
    int Count() const { return static_cast<int>(scenes_.size()); }
    // The scene at index, or null outside the list.
    const TScene* GetScene(int index) const;

    // The first start after frame, or defaultFrame when no scene starts later.
    std::int32_t NextSceneStart(std::int32_t frame, std::int32_t defaultFrame) const;
    // The last start before frame, or 0 when no scene starts earlier.
    std::int32_t PrevSceneStart(std::int32_t frame) const;

private:
    std::vector<TScene> scenes_;
};

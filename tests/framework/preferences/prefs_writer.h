#pragma once
// One generation of values, as the crash test's writer saves them and the
// test checks them.

#include "framework/preferences/morvek_preferences.h"

constexpr int WriterValueCount = 300;

inline QString WriterText(int generation, int index)
{
    return QStringLiteral("generation %1 value %2 ").arg(generation).arg(index).repeated(8);
}

inline void WriteGeneration(TMorvekPreferences& gp, int generation)
{
    gp.OpenKey(QStringLiteral("MainForm"));
    for (int i = 0; i < WriterValueCount; ++i)
        gp.WriteString(QStringLiteral("waText%1").arg(i), WriterText(generation, i));
    gp.WriteRect(QStringLiteral("raWindow"), {generation, generation, generation, generation});
    gp.WriteInteger(QStringLiteral("Generation"), generation);
    gp.CloseKey();
}

// The generation all values belong to, or 0 when they disagree or are missing.
inline int ReadGeneration(TMorvekPreferences& gp)
{
    if (!gp.OpenKey(QStringLiteral("MainForm")))
        return 0;
    const int generation = gp.ReadInteger(QStringLiteral("Generation"), 0);
    bool whole = gp.ReadRect(QStringLiteral("raWindow"), {}) == TRect{generation, generation, generation, generation};
    for (int i = 0; i < WriterValueCount; ++i)
        whole = whole && gp.ReadString(QStringLiteral("waText%1").arg(i), {}) == WriterText(generation, i);
    gp.CloseKey();
    return whole ? generation : 0;
}

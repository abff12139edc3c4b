#pragma once
// The preferences as the actions read and write them. The store has already
// been opened at the form's key; each value is named by the action's script
// name. A read gives the default when the value is missing; a write returns
// whether the value was stored.

#include "framework/actions/action_types.h"

#include <QString>

class TActionPreferences
{
public:
    virtual ~TActionPreferences() = default;

    virtual bool ReadBool(const QString& name, bool defaultValue) = 0;
    virtual int ReadInteger(const QString& name, int defaultValue) = 0;
    virtual QString ReadString(const QString& name, const QString& defaultValue) = 0;
    virtual double ReadFloat(const QString& name, double defaultValue) = 0;
    virtual TPoint ReadPoint(const QString& name, const TPoint& defaultValue) = 0;
    virtual TRect ReadRect(const QString& name, const TRect& defaultValue) = 0;
    virtual TFont ReadFont(const QString& name, const TFont& defaultValue) = 0;

    virtual bool WriteBool(const QString& name, bool value) = 0;
    virtual bool WriteInteger(const QString& name, int value) = 0;
    virtual bool WriteString(const QString& name, const QString& value) = 0;
    virtual bool WriteFloat(const QString& name, double value) = 0;
    virtual bool WritePoint(const QString& name, const TPoint& value) = 0;
    virtual bool WriteRect(const QString& name, const TRect& value) = 0;
    virtual bool WriteFont(const QString& name, const TFont& value) = 0;
};

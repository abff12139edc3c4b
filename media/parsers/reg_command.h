#pragma once
// Running the registry tool for the private decoder registration.

#include <QString>

// Runs `reg` with the given parameters ("import FILE", "delete KEY /F") and
// waits for it to end. True when the command did its work. The tool runs
// in-process and opens no window, so `hidden` only matters for the log: a
// failure is logged either way.
bool RunRegCommand(const QString& parameters, bool hidden);

#pragma once
// The test program's environment: a GUI application (offscreen) and a private
// session bus, so no test ever talks to the desktop it runs on.

#include <QString>

// The private bus's address; empty when dbus-daemon is not installed (the
// session bus is then unreachable).
QString privateBusAddress();
